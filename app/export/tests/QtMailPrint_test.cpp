// Mail as PDF, read back by poppler: pdftotext finds every mail's subject and text and the title and
// page number on every page, pdffonts finds the Japanese font embedded, pdfimages the photo.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <sys/stat.h>

#include "db/Attachments.h"
#include "export/QtMailPrint.h"
#include "testsupport/TestSupport.h"

using namespace kamo;
namespace fs = std::filesystem;

namespace {

std::string Jpeg() {
    QImage image(320, 240, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return bytes.toStdString();
}

MailRecord Mail(const char* ymd, const std::string& subject, const std::string& body) {
    static int64_t subKey = 1;
    MailRecord m = test::Mail(ymd, "10:00:00", false, "山田 花子", "hanako@example.jp", subject, body);
    m.subKey = subKey++;
    m.include = "0";
    return m;
}

std::string Tool(const std::vector<std::string>& argv) {
    const auto run = test::RunTool(argv);
    EXPECT_EQ(run.status, 0) << argv[0];
    return run.out;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

} // namespace

TEST(MailPdf, EveryMailsTextTitlePageNumbersFontAndPhotoAreInThePdf) {
    auto db = test::MemoryArchive();
    std::string longBody;
    for (int i = 1; i <= 150; ++i)
        longBody += "長い手紙の" + std::to_string(i) + "行目です。\r\n";
    const std::vector<MailRecord> mails = {
        Mail("2001/09/04", "はじめまして", "こんにちは。ポチです。\r\n"),
        Mail("2002/01/01", "写真を送ります", "公園で撮りました。\r\n"),
        Mail("2003/04/01", "長い手紙", longBody),
        Mail("2003/04/02", "<b>タグ</b>のある件名", "<script>alert(1)</script>\r\n"),
    };
    for (const auto& m : mails)
        test::InsertTestMail(*db, m);
    AttachmentWriter(*db).Add(KeyOf(mails[1]), 1, {"公園.jpg", "image/jpeg", Jpeg()});
    test::TempDir dir;
    NullWaitReporter wait;
    const ExportResult result = WriteMailPdfOnTerminal(*db, MailSelection::All(), dir / "mail.pdf", wait);
    EXPECT_EQ(result.written, 4);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "mail.pdf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    const std::string text = Tool({"/usr/bin/pdftotext", "-layout", (dir / "mail.pdf").string(), "-"});
    for (const auto& m : mails) {
        EXPECT_NE(text.find(m.subject), std::string::npos) << m.subject;
        EXPECT_NE(text.find(m.body.substr(0, m.body.find('\r'))), std::string::npos) << m.subject;
    }
    EXPECT_NE(text.find("長い手紙の150行目です。"), std::string::npos);
    EXPECT_NE(text.find("山田 花子 <hanako@example.jp>"), std::string::npos);
    // Every page: the title at its head and "n / N" at its foot (pdftotext ends each page with a form feed).
    const size_t pages = Count(text, "\f");
    ASSERT_GE(pages, 3u);
    EXPECT_EQ(Count(text, "KamoMail すべてのメール"), pages);
    for (size_t n = 1; n <= pages; ++n)
        EXPECT_NE(text.find(std::to_string(n) + " / " + std::to_string(pages)), std::string::npos) << n;

    const std::string fonts = Tool({"/usr/bin/pdffonts", (dir / "mail.pdf").string()});
    EXPECT_NE(fonts.find("IPAGothic"), std::string::npos) << fonts;
    // Columns: name type encoding emb sub uni; every font embedded.
    size_t lines = 0;
    for (size_t at = fonts.find('\n', fonts.find("----")); at != std::string::npos && at + 1 < fonts.size();
         at = fonts.find('\n', at + 1)) {
        const std::string line = fonts.substr(at + 1, fonts.find('\n', at + 1) - at - 1);
        if (line.empty())
            continue;
        ++lines;
        EXPECT_NE(line.find(" yes "), std::string::npos) << "not embedded: " << line;
    }
    EXPECT_GE(lines, 1u);
    const std::string images = Tool({"/usr/bin/pdfimages", "-list", (dir / "mail.pdf").string()});
    EXPECT_NE(images.find("320   240"), std::string::npos) << images;
}

TEST(MailPdf, TheFileIsNeverWrittenThroughALinkOrOverTheArchive) {
    auto db = test::MemoryArchive();
    test::InsertTestMail(*db, Mail("2001/09/04", "件名", "本文\r\n"));
    test::TempDir dir;
    test::WriteFile(dir / "victim", "keep");
    fs::create_symlink(dir / "victim", dir / "link.pdf");
    NullWaitReporter wait;
    EXPECT_THROW(WriteMailPdfOnTerminal(*db, MailSelection::All(), dir / "link.pdf", wait), std::runtime_error);
    EXPECT_EQ(test::ReadFile(dir / "victim"), "keep");
    EXPECT_THROW(WriteMailPdfOnTerminal(*db, MailSelection::All(), dir.path(), wait), std::runtime_error);
}

TEST(MailPdf, TheMailOnDisplayPrintsAlone) {
    auto db = test::MemoryArchive();
    const std::vector<MailRecord> mails = {Mail("2001/09/04", "一通目", "一通目の本文\r\n"),
                                           Mail("2001/09/04", "二通目", "二通目の本文\r\n")};
    for (const auto& m : mails)
        test::InsertTestMail(*db, m);
    test::TempDir dir;
    NullWaitReporter wait;
    EXPECT_EQ(WriteMailPdf(*db, MailSelection::OneMail(mails[1]), dir / "one.pdf", wait).written, 1);
    const std::string text = Tool({"/usr/bin/pdftotext", (dir / "one.pdf").string(), "-"});
    EXPECT_NE(text.find("二通目の本文"), std::string::npos);
    EXPECT_EQ(text.find("一通目"), std::string::npos);
    EXPECT_NE(text.find("KamoMail 表示中のメール 二通目"), std::string::npos);
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) // also when the tests are only listed
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
