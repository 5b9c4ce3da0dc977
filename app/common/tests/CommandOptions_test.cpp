// The one parser of the terminal's arguments, on the command table's own rows: what each command
// takes and refuses, and the words of each refusal.
#include <gtest/gtest.h>

#include "common/CommandOptions.h"

namespace kamo {
namespace {

// OptionRefusal::Kind's names, in its order.
constexpr const char* kKinds[] = {"Unknown", "MissingValue", "NotInMode", "BadValue",   "Twice",
                                  "Needs",   "MissingGroup", "NoMode",    "UnknownMode"};

// "mode=mbox --address=a --original [target]", "help", or the refusal: "Twice --name --address".
std::string Describe(const ParsedOptions& parsed) {
    if (parsed.refusal)
        return std::string(kKinds[static_cast<int>(parsed.refusal->kind)]) + " " + parsed.refusal->argument +
               (parsed.refusal->other.empty() ? "" : " " + parsed.refusal->other);
    std::string text = parsed.help ? "help" : "";
    auto add = [&](const std::string& part) { text += (text.empty() ? "" : " ") + part; };
    if (parsed.mode)
        add("mode=" + std::string(parsed.mode->name));
    for (const auto& g : parsed.given)
        add(std::string(g.name) + (g.value.empty() ? "" : "=" + g.value));
    for (const auto& o : parsed.operands)
        add("[" + o + "]");
    return text;
}

struct Case {
    const char* command;
    std::vector<std::string> args;
    std::string parsed; // Describe()
    std::string words;  // RefusalText(), "" when accepted
};

TEST(CommandOptions, EachCommandTakesWhatItsRowDeclaresAndRefusesTheRest) {
    const std::string formats = "（使える形式: mbox, maildir, eml, html, pdf, csv, imap）";
    const std::vector<Case> cases = {
        // Flags, values in both forms, the last value of an option given again.
        {"read", {}, "", ""},
        {"read", {"--all", "--watch", "--settle-ms", "5"}, "--all --watch --settle-ms=5", ""},
        {"read", {"--postpet-dir=/p q"}, "--postpet-dir=/p q", ""},
        {"read", {"--postpet-dir", "/a", "--postpet-dir", "/b"}, "--postpet-dir=/a --postpet-dir=/b", ""},
        {"read", {"--all", "--all"}, "--all --all", ""},
        // Unknown options, operands it does not take, a flag given a value, missing and empty values.
        {"read", {"--everything"}, "Unknown --everything", "不明な引数です: --everything"},
        {"read", {"PostPet"}, "Unknown PostPet", "不明な引数です: PostPet"},
        {"read", {"--"}, "Unknown --", "不明な引数です: --"},
        {"read", {"--help"}, "Unknown --help", "不明な引数です: --help"},
        {"read", {"--all=yes"}, "Unknown --all=yes", "不明な引数です: --all=yes"},
        {"read", {"--postpet-dir"}, "MissingValue --postpet-dir", "不明な引数です: --postpet-dir"},
        {"read", {"--postpet-dir", ""}, "MissingValue --postpet-dir", "不明な引数です: --postpet-dir"},
        {"read", {"--postpet-dir="}, "MissingValue --postpet-dir=", "不明な引数です: --postpet-dir="},
        // An option that needs another.
        {"read", {"--settle-ms", "5"}, "Needs --settle-ms --watch", "--settle-ms は --watch と一緒に使います。"},
        // Operands: anything not starting with "--", and everything after "--".
        {"search", {"a", "--format=json", "-is:sent", "--body"}, "--format=json --body [a] [-is:sent]", ""},
        {"search", {"--", "--body", "--help"}, "[--body] [--help]", ""},
        {"search", {"--colour", "a"}, "Unknown --colour", "不明な引数です: --colour"},
        {"search", {"a", "--format"}, "MissingValue --format", "不明な引数です: --format"},
        // --help wins over the rest where the command has it.
        {"search", {"--colour", "--help"}, "help", ""},
        // Exclusive options: the group's own words, or an unknown argument's.
        {"list", {"--address", "a", "--by", "date"}, "--address=a --by=date", ""},
        {"list", {"--address", "a", "--name", "b"}, "Twice --name --address", "キーは 1 つだけ指定して下さい。"},
        {"trash", {"--restore", "--empty"}, "Twice --empty --restore", "不明な引数です: --empty"},
        {"trash", {"--empty", "--empty"}, "Twice --empty --empty", "不明な引数です: --empty"},
        {"index", {"--redecode"}, "--redecode", ""},
        {"index", {"--rebuild", "--drop"}, "Twice --drop --rebuild", "不明な引数です: --drop"},
        {"friends", {}, "MissingGroup one", ""},
        {"friends", {"--read", "f", "--export", "g"}, "Twice --export --read", "不明な引数です: --export"},
        {"friends", {"Friend.dat"}, "Unknown Friend.dat", "不明な引数です: Friend.dat"},
        {"backup", {"now"}, "Unknown now", "不明な引数です: now"},
        // Modes: chosen anywhere, the last one counts; each takes its own options and one operand.
        {"export", {}, "NoMode --format", "形式を --format で指定して下さい。" + formats},
        {"export", {"x", "--format"}, "NoMode --format", "形式を --format で指定して下さい。" + formats},
        {"export", {"--format", "xml", "--bogus"}, "UnknownMode xml", "不明な形式です: xml" + formats},
        {"export", {"--format", "xml", "--help"}, "help", ""},
        {"export",
         {"x", "--format=mbox", "--original", "--folders", "--seen", "sent", "--search", "w"},
         "mode=mbox --format=mbox --original --folders --seen=sent --search=w [x]",
         ""},
        {"export", {"--format", "mbox", "--format", "eml", "x"}, "mode=eml --format=mbox --format=eml [x]", ""},
        {"export", {"--format", "html", "x", "--original"}, "NotInMode --original", "不明な引数です: --original"},
        {"export", {"--format", "eml", "x", "--seen", "all"}, "NotInMode --seen", "不明な引数です: --seen"},
        {"export", {"--format", "pdf", "x", "--folders"}, "NotInMode --folders", "不明な引数です: --folders"},
        {"export", {"--format", "csv", "x", "--address", "a"}, "NotInMode --address", "不明な引数です: --address"},
        {"export", {"--format", "mbox", "a", "b"}, "Unknown b", "不明な引数です: b"},
        {"export",
         {"--format", "pdf", "x", "--date", "2001/09/04", "--search", "w"},
         "Twice --search --date",
         "選択は 1 つだけ指定して下さい。"},
        {"export",
         {"--format", "mbox", "x", "--address=a", "--address=b"},
         "Twice --address=b --address",
         "選択は 1 つだけ指定して下さい。"},
        {"import", {"--format=csv", "-x"}, "mode=csv --format=csv [-x]", ""},
        {"import", {"d"}, "NoMode --format", "形式を --format で指定して下さい。（使える形式: csv）"},
    };
    for (const auto& c : cases) {
        const CommandDef* command = FindTerminalCommand(c.command);
        ASSERT_NE(command, nullptr) << c.command;
        const ParsedOptions parsed = ParseOptions(*command, c.args);
        std::string line = c.command;
        for (const auto& a : c.args)
            line += " " + a;
        EXPECT_EQ(Describe(parsed), c.parsed) << line;
        EXPECT_EQ(parsed.refusal ? RefusalText(*command, *parsed.refusal) : std::string(), c.words) << line;
    }
}

TEST(CommandOptions, ValuesAndGroupsAreReadBack) {
    const ParsedOptions read = ParseOptions(*FindTerminalCommand("read"), {"--postpet-dir", "/a", "--postpet-dir=/b"});
    EXPECT_EQ(read.Value("--postpet-dir"), "/b");
    EXPECT_EQ(read.Value("--all"), std::nullopt);
    EXPECT_EQ(read.Chosen(""), std::nullopt);
    const auto exported = ParseOptions(*FindTerminalCommand("export"), {"--format", "pdf", "--filter", "10", "x"});
    EXPECT_EQ(exported.Chosen("selection"), "--filter");
    EXPECT_EQ(ParseOptions(*FindTerminalCommand("export"), {"--format=pdf", "x"}).Chosen("selection"), std::nullopt);
}

// The usage lines come from the rows; where they were written by hand before, they read the same.
TEST(CommandOptions, UsageLinesAreMadeFromTheRows) {
    const std::vector<std::pair<const char*, const char*>> usage = {
        {"read", "使い方: kamomail read [--postpet-dir DIR] [--all] [--watch [--settle-ms N]]"},
        {"trash", "使い方: kamomail trash [--restore | --empty]"},
        {"index", "使い方: kamomail index [--rebuild | --drop | --redecode]"},
        {"friends", "使い方: kamomail friends --read FILE | --export FILE.vcf"},
        {"import", "使い方: kamomail import --format csv DIR"},
        {"backup", "使い方: kamomail backup"},
        {"search", "使い方: kamomail search [--format text|json] [--body] TERM..."},
        {"list", "使い方: kamomail list [--by address|name|date|filter] [--address A | --name N | --date yyyy/mm/dd | "
                 "--filter F] [--format text|json] [--body] [--threads]"},
    };
    for (const auto& [command, line] : usage)
        EXPECT_EQ(UsageText(command), line);
    const std::string exportUsage = UsageText("export");
    EXPECT_EQ(exportUsage.substr(0, exportUsage.find('\n')), "使い方: kamomail export --format FORMAT ...");
    EXPECT_NE(exportUsage.find("\n  kamomail export --format eml [選択] [--original] [--folders] DIR  1 通ずつ"),
              std::string::npos)
        << exportUsage;
    EXPECT_NE(exportUsage.find("\n  kamomail export --format csv DIR  "), std::string::npos) << exportUsage;
    const std::string options = OptionsText("export");
    EXPECT_EQ(options.rfind("  選択（なければすべてのメール）:\n    --address A  ", 0), 0u) << options;
    EXPECT_NE(options.find("\n  --seen all|sent  "), std::string::npos) << options;
    EXPECT_EQ(options.find("--format"), std::string::npos) << options;
    // The manual page: names bold, placeholders italic, the words of a value roman, groups spelt out.
    const std::string man = ManSynopsis();
    EXPECT_NE(man.find(R"(.B kamomail read
[\fB\-\-postpet\-dir\fP \fIDIR\fP] [\fB\-\-all\fP] [\fB\-\-watch\fP [\fB\-\-settle\-ms\fP \fIN\fP]]
.br
)"),
              std::string::npos)
        << man;
    EXPECT_NE(man.find(R"(.B kamomail export \-\-format html
[\fB\-\-address\fP \fIA\fP | )"),
              std::string::npos)
        << man;
    EXPECT_NE(man.find(".B kamomail search \\-\\-help\n.br\n"), std::string::npos) << man;
}

} // namespace
} // namespace kamo
