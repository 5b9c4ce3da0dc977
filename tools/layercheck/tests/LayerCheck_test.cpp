// The include rules on small trees made for each case: each broken rule is found, a clean tree
// passes, and the real tree of the program keeps them.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "LayerCheck.h"

namespace fs = std::filesystem;
using layercheck::CheckTree;
using layercheck::ParseLayerRules;

namespace {

const char* const kLayers = "common:\nplatform: common\ndb: common platform\nimport: common db\n"
                            "browse: common db import\ntestsupport: common db\n";

class Tree {
public:
    Tree() {
        std::random_device rd;
        dir_ = fs::temp_directory_path() / ("layercheck-" + std::to_string(rd()));
        fs::create_directories(dir_);
    }
    ~Tree() { fs::remove_all(dir_); }
    void Write(const std::string& relative, const std::string& text) {
        fs::create_directories((dir_ / relative).parent_path());
        std::ofstream(dir_ / relative) << text;
    }
    std::vector<std::string> Check() const {
        std::vector<std::string> errors;
        const auto rules = ParseLayerRules(kLayers, errors);
        EXPECT_TRUE(errors.empty());
        return CheckTree(dir_, rules);
    }

private:
    fs::path dir_;
};

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& l : lines)
        all += l + "\n";
    return all;
}

} // namespace

TEST(LayerCheck, ACleanTreePasses) {
    Tree t;
    t.Write("common/Text.h", "#include <string>\n");
    t.Write("db/Archive.cpp", "#include \"common/Text.h\"\n#include \"kamomail.h\"\n#include \"db/Archive.h\"\n");
    t.Write("import/Read.cpp", "#include \"db/Archive.h\"\n#include <queue>\n");
    t.Write("browse/frmMain.cpp", "#include <QMainWindow>\n#include \"import/Read.h\"\n");
    t.Write("browse/QtModels.h", "#include <QAbstractListModel>\n");
    t.Write("import/tests/Read_test.cpp", "#include <QtTest>\n#include \"testsupport/TestSupport.h\"\n"
                                          "#include \"ppwriter/MailboxWriter.h\"\n");
    t.Write("browse/tests/frmMain_test.cpp", "#include \"import/tests/ReadUtil.h\"\n");
    EXPECT_EQ(Joined(t.Check()), "");
}

TEST(LayerCheck, EachBrokenRuleIsFoundWithItsPlace) {
    struct Case {
        const char* file;
        const char* text;
        const char* expected; // a piece of the one problem reported
    };
    const Case cases[] = {
        {"db/Archive.cpp", "#include <string>\n#include \"browse/frmMain.h\"\n",
         "db/Archive.cpp:2: db must not include browse/frmMain.h"},
        {"common/Text.cpp", "#include \"platform/Files.h\"\n", "common must not include platform/Files.h"},
        {"import/Read.cpp", "#include <QString>\n", "import/Read.cpp:1: logic file includes Qt header <QString>"},
        {"db/Store.h", "#  include <QtCore/QObject>\n", "logic file includes Qt header <QtCore/QObject>"},
        {"import/Read.cpp", "#include \"testsupport/TestSupport.h\"\n", "import must not include testsupport"},
        {"import/Read.cpp", "#include \"import/tests/ReadUtil.h\"\n", "must not include import/tests/ReadUtil.h"},
        {"db/tests/Archive_test.cpp", "#include \"browse/frmMain.h\"\n", "db must not include browse/frmMain.h"},
        {"friends/Book.cpp", "#include \"db/Archive.h\"\n", "folder friends is not in the layer file"},
    };
    for (const auto& c : cases) {
        Tree t;
        t.Write(c.file, c.text);
        const auto problems = t.Check();
        ASSERT_EQ(problems.size(), 1u) << c.file << ": " << Joined(problems);
        EXPECT_NE(problems[0].find(c.expected), std::string::npos) << problems[0];
    }
}

TEST(LayerCheck, ACycleBetweenFoldersIsFound) {
    // Rules that let two folders include each other cannot be written; check the graph all the same
    // with a layer file that lists the wrong way round.
    std::vector<std::string> errors;
    const auto rules = ParseLayerRules("a:\nb: a c\nc: b\n", errors);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("b names c, which is not listed above it"), std::string::npos);

    Tree t;
    t.Write("common/A.h", "#include \"platform/B.h\"\n");
    t.Write("platform/B.h", "#include \"common/A.h\"\n");
    const std::string all = Joined(t.Check());
    EXPECT_NE(all.find("common must not include platform/B.h"), std::string::npos) << all;
    EXPECT_NE(all.find("folders include each other: common -> platform -> common"), std::string::npos) << all;
}

TEST(LayerCheck, TheProgramKeepsItsLayers) {
    const fs::path app = fs::path(KAMOMAIL_SOURCE_DIR) / "app";
    std::ifstream in(app / "layers.txt");
    ASSERT_TRUE(in);
    std::stringstream text;
    text << in.rdbuf();
    std::vector<std::string> errors;
    const auto rules = ParseLayerRules(text.str(), errors);
    EXPECT_EQ(Joined(errors), "");
    EXPECT_EQ(Joined(CheckTree(app, rules)), "");
}
