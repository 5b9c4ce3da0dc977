// What `kamomail export` prints when it is done, worded from the export's result, and the selection
// it names: the lines a result asks for, in their order, each with its count.
#include <gtest/gtest.h>

#include "common/Messages.h"
#include "export/MailSelection.h"
#include "startup/ExportCommand.h"

using namespace kamo;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "the summary ends with a line break: " << text;
    return lines;
}

} // namespace

TEST(ExportSummary, NamesEachKindOfMailWrittenShortOnlyWhenThereIsSome) {
    enum Extra { Pictures, Unreadable, Without };
    struct Case {
        int64_t written, pictures, unreadable, without;
        bool original;
        std::vector<Extra> lines; // after the first, in this order
    };
    const Case cases[] = {
        {0, 0, 0, 0, false, {}},           {3, 0, 0, 0, true, {}},
        {3, 0, 0, 2, false, {}}, // counted without --original: nothing was asked of the originals
        {3, 0, 0, 1, true, {Without}},     {3, 1, 0, 0, false, {Pictures}},
        {3, 0, 1, 0, false, {Unreadable}}, {1234, 2, 5, 7, true, {Pictures, Unreadable, Without}},
    };
    for (const auto& c : cases) {
        ExportResult result;
        result.written = c.written;
        result.target = "/tmp/out/KamoMail.mbox";
        result.picturesNotDrawn = c.pictures;
        result.unreadableOriginals = c.unreadable;
        result.withoutOriginal = c.without;
        const auto lines = Lines(ExportSummaryText(result, "mbox", MailSelection::All(), c.original));
        const std::string label = "written " + std::to_string(c.written) + " original " + std::to_string(c.original);
        ASSERT_EQ(lines.size(), 1 + c.lines.size()) << label;
        EXPECT_EQ(lines[0], std::to_string(c.written) +
                                " 通のメールを mbox で書き出しました（すべてのメール）: /tmp/out/KamoMail.mbox")
            << label;
        for (size_t i = 0; i < c.lines.size(); ++i) {
            std::string expected;
            switch (c.lines[i]) {
            case Pictures:
                expected = MessageOf(Failure(FailureCode::PicturesNotDrawn, {std::to_string(c.pictures)}));
                break;
            case Unreadable:
                expected = MessageOf(Failure(FailureCode::OriginalsUnreadable, {std::to_string(c.unreadable)}));
                break;
            case Without:
                expected = "うち " + std::to_string(c.without) +
                           " 通は元のメールが保存されていないため、通常の形式で書き出しました。";
                break;
            }
            EXPECT_EQ(lines[i + 1], expected) << label << " line " << i + 1;
        }
    }
}

TEST(ExportSummary, ASelectionIsNamedByItsKeyOrWhatStandsForAMissingOne) {
    MailRecord untitled;
    MailRecord titled;
    titled.subject = "お花見";
    const struct {
        MailSelection selection;
        std::string words;
    } cases[] = {
        {MailSelection::All(), "すべてのメール"},
        {MailSelection::Of(MailSelection::Kind::Address, "kamo@example.jp"), "アドレス kamo@example.jp"},
        {MailSelection::Of(MailSelection::Kind::Name, "山田"), "名前 山田"},
        {MailSelection::Of(MailSelection::Kind::Date, "2001/09/04"), "日付 2001/09/04"},
        {MailSelection::Filter(7), "フィルター 7"},
        {MailSelection::Filter(7, "山田さん"), "フィルター 山田さん"},
        {MailSelection::Of(MailSelection::Kind::Search, "from:hanako"), "検索結果 from:hanako"},
        {MailSelection::OneMail(titled), "表示中のメール お花見"},
        {MailSelection::OneMail(untitled), "表示中のメール （件名なし）"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.selection.Describe(), c.words);
}
