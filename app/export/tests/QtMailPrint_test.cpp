// Mail as PDF, read back by poppler: pdftotext finds every mail's subject and text and the title and
// page number on every page, pdffonts finds the Japanese font embedded, pdfimages the photo.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
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
    return test::MailBuilder()
        .Date(ymd, "10:00:00")
        .SubKey(subKey++)
        .With("山田 花子", "hanako@example.jp")
        .Subject(subject)
        .Body(body)
        .Include("0")
        .Build();
}

std::string Tool(const std::vector<std::string>& argv) {
    const auto run = test::RunTool(argv);
    EXPECT_EQ(run.status, 0) << argv[0];
    return run.out;
}

std::string Png(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(200, 80, 40));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

// The pictures poppler finds in a PDF: their pixels and the size they are drawn at (points).
struct DrawnPicture {
    int width = 0, height = 0;
    double widthPt = 0, heightPt = 0;
};
std::vector<DrawnPicture> DrawnPictures(const fs::path& pdf) {
    const auto run = test::RunTool({"/usr/bin/pdfimages", "-list", pdf.string()});
    EXPECT_EQ(run.status, 0);
    std::vector<DrawnPicture> pictures;
    std::istringstream lines(run.out);
    std::string line;
    while (std::getline(lines, line)) {
        // page num type width height color comp bpc enc interp object ID x-ppi y-ppi size ratio
        std::istringstream fields(line);
        std::vector<std::string> f;
        for (std::string w; fields >> w;)
            f.push_back(w);
        if (f.size() < 14 || f[2] != "image")
            continue;
        DrawnPicture p;
        p.width = std::stoi(f[3]);
        p.height = std::stoi(f[4]);
        p.widthPt = p.width / std::stod(f[12]) * 72;
        p.heightPt = p.height / std::stod(f[13]) * 72;
        pictures.push_back(p);
    }
    return pictures;
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

// The head as the print lays it out: the subject (none said so), then 日付, 差出人 and 宛先 in that
// order; a receiver with neither name nor address is （なし）.
TEST(MailPdf, TheHeadIsTheSubjectThenDateSenderAndReceiver) {
    auto db = test::MemoryArchive();
    MailRecord m = Mail("2003/04/02", "", "本文\r\n");
    m.sent = true;
    std::swap(m.sndName, m.rcvName);
    std::swap(m.sndAdd, m.rcvAdd);
    m.rcvName = kNoName;
    m.rcvAdd.clear();
    test::InsertTestMail(*db, m);
    test::TempDir dir;
    NullWaitReporter wait;
    ASSERT_EQ(WriteMailPdfOnTerminal(*db, MailSelection::All(), dir / "mail.pdf", wait).written, 1);
    std::string words; // the page's text, each run of white space one space
    for (char c : Tool({"/usr/bin/pdftotext", "-layout", (dir / "mail.pdf").string(), "-"}))
        if (!std::isspace(static_cast<unsigned char>(c)))
            words += c;
        else if (!words.empty() && words.back() != ' ')
            words += ' ';
    EXPECT_NE(words.find("（件名なし） 日付 2003/04/02 10:00:00 差出人 かも <kamo@example.jp> 宛先 （なし） 本文"),
              std::string::npos)
        << words;
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

// Every picture is drawn, named or not, at most as large as on a screen and fitted inside the page's
// width and height (A4 less 15 mm margins: 510 x 757 pt); a 36-megapixel PNG (over Qt's default
// allocation limit) is read scaled; a picture that cannot be decoded is counted, not passed over.
TEST(MailPdf, EveryPictureIsDrawnWhateverItsNameAndFitsInsideThePage) {
    const struct {
        const char* name;
        const char* type;
        int width, height;
        double widthPt; // drawn width expected: 0 for "as the page allows"
    } cases[] = {
        {"", "application/octet-stream", 400, 300, 300}, // unnamed: 400 screen pixels are 300 pt
        {"small.png", "image/png", 60, 20, 45},          {"wide.png", "image/png", 1800, 300, 0},
        {"tall.png", "image/png", 300, 1800, 0},         {"huge.png", "image/png", 6000, 6000, 0},
    };
    auto db = test::MemoryArchive();
    int day = 1;
    for (const auto& c : cases) {
        const MailRecord m = Mail(("2002/01/0" + std::to_string(day++)).c_str(), "写真", "どうぞ。\r\n");
        test::InsertTestMail(*db, m, {{c.name, c.type, Png(c.width, c.height)}});
    }
    test::InsertTestMail(*db, Mail("2002/02/01", "壊れた写真", "\r\n"), {{"broken.png", "image/png", "not a picture"}});
    test::TempDir dir;
    NullWaitReporter wait;
    const ExportResult result = WriteMailPdfOnTerminal(*db, MailSelection::All(), dir / "p.pdf", wait);
    EXPECT_EQ(result.written, 6);
    EXPECT_EQ(result.picturesNotDrawn, 1);

    const auto drawn = DrawnPictures(dir / "p.pdf");
    EXPECT_EQ(drawn.size(), std::size(cases));
    for (const auto& c : cases) {
        const double ratio = static_cast<double>(c.width) / c.height;
        const auto found = std::find_if(drawn.begin(), drawn.end(), [&](const DrawnPicture& p) {
            return std::abs(p.widthPt / p.heightPt - ratio) < ratio * 0.03;
        });
        ASSERT_NE(found, drawn.end()) << c.width << "x" << c.height << " not drawn";
        EXPECT_LE(found->widthPt, 511) << c.width << "x" << c.height;
        EXPECT_LE(found->heightPt, 757) << c.width << "x" << c.height;
        if (c.widthPt > 0)
            EXPECT_NEAR(found->widthPt, c.widthPt, 1) << c.width << "x" << c.height;
        else
            EXPECT_GT(std::max(found->widthPt / 510, found->heightPt / 757), 0.85) << "fills the page's room";
        // Read scaled: no more pixels than the printed size holds at 300 dpi.
        EXPECT_LE(found->width, std::ceil(found->widthPt / 72 * 300) + 1) << c.width << "x" << c.height;
    }
    const std::string text = Tool({"/usr/bin/pdftotext", (dir / "p.pdf").string(), "-"});
    EXPECT_NE(text.find("添付ファイル"), std::string::npos);
    EXPECT_NE(text.find("broken.png"), std::string::npos);
}

// Run as a child of the test below: prints how far the peak of its resident memory rose while the
// PDF of eight mails with a 4000x4000 PNG each (64 MB decoded) was made.
int PrintManyLargePictures() {
    auto db = test::MemoryArchive();
    const std::string png = Png(4000, 4000);
    for (int i = 1; i <= 8; ++i)
        test::InsertTestMail(*db, Mail("2002/03/01", "大きな写真 " + std::to_string(i), "\r\n"),
                             {{"", "image/png", png}});
    auto status = [](const char* key) {
        std::ifstream in("/proc/self/status");
        for (std::string line; std::getline(in, line);)
            if (line.rfind(key, 0) == 0)
                return std::stol(line.substr(std::string(key).size()));
        return -1L;
    };
    std::ofstream("/proc/self/clear_refs") << "5"; // the peak starts again from here
    const long before = status("VmRSS:");
    test::TempDir dir;
    NullWaitReporter wait;
    const ExportResult result = WriteMailPdfOnTerminal(*db, MailSelection::All(), dir / "big.pdf", wait);
    std::cout << "written " << result.written << " pictures " << DrawnPictures(dir / "big.pdf").size() << " rise "
              << (status("VmHWM:") - before) / 1024 << " MB\n";
    return 0;
}

// Pictures are let go once their page is drawn: the memory a PDF takes does not grow with the number
// of large pictures (each held whole would take 512 MB here).
TEST(MailPdf, ManyLargePicturesAreLetGoPageByPage) {
    // ASan's quarantine would keep freed pictures resident: the child keeps none.
    const std::string asan = qEnvironmentVariable("ASAN_OPTIONS").toStdString();
    const auto run = test::RunTool(
        {"/usr/bin/env", "ASAN_OPTIONS=" + asan + (asan.empty() ? "" : ":") + "quarantine_size_mb=0:detect_leaks=0",
         "QT_QPA_PLATFORM=offscreen", fs::read_symlink("/proc/self/exe").string(), "--print-many-large-pictures"});
    ASSERT_EQ(run.status, 0) << run.out;
    int written = 0, pictures = 0;
    long rise = -1;
    ASSERT_EQ(std::sscanf(run.out.c_str(), "written %d pictures %d rise %ld MB", &written, &pictures, &rise), 3)
        << run.out;
    EXPECT_EQ(written, 8);
    EXPECT_EQ(pictures, 8);
    EXPECT_LT(rise, 300) << run.out;
}

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--print-many-large-pictures") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        return PrintManyLargePictures();
    }
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) // also when the tests are only listed
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
