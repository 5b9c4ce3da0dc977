// Pictures under the mail text: recognised by their content, scaled to the pane and never above their
// own size, a note for what cannot be shown (broken or huge), decoded off the window's thread into a
// cache that stays within its bound, opened with a click through the desktop.
#include <QBuffer>
#include <QClipboard>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <set>

#include <SQLiteCpp/Transaction.h>

#include "browse/QtAttachmentList.h"
#include "browse/QtMailPictures.h"
#include "browse/frmKamoMail.h"
#include "browse/tests/WindowArchive.h"
#include "db/ArchiveSession.h"
#include "db/Attachments.h"
#include "db/LookupLists.h"
#include "db/MailPictures.h"
#include "db/QtPictureDecoder.h"
#include "db/Schema.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

QString Q(const char* s) {
    return QString::fromUtf8(s);
}

std::string Encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes.toStdString();
}

QImage Filled(int width, int height, QColor color) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

uint32_t Crc32(std::string_view bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBigEndian(std::string& bytes, std::size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (24 - 8 * i));
}

// A real PNG whose header (with its checksum made right) says 10000x10000 RGBA: 400 MB if read whole.
std::string HugePng() {
    std::string png = Encoded(QImage(16, 16, QImage::Format_ARGB32), "png");
    PutBigEndian(png, 16, 10000); // IHDR: length, "IHDR", width, height, ...
    PutBigEndian(png, 20, 10000);
    PutBigEndian(png, 29, Crc32(std::string_view(png).substr(12, 17)));
    return png;
}

// A baseline JPEG whose frame header says 10000x10000 (its data is a small picture's).
std::string HugeJpeg() {
    std::string jpeg = Encoded(Filled(64, 64, Qt::blue), "jpeg");
    const std::size_t sof = jpeg.find("\xFF\xC0");
    jpeg[sof + 5] = '\x27'; // height, then width: 0x2710 = 10000
    jpeg[sof + 6] = '\x10';
    jpeg[sof + 7] = '\x27';
    jpeg[sof + 8] = '\x10';
    return jpeg;
}

// A looping 1x1 GIF of two frames, black for 0.1 s then white for 0.1 s.
std::string AnimatedGif() {
    std::string gif("GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xFF\xFF\xFF", 19);
    gif += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    for (const char* pixel : {"\x44", "\x4C"}) { // LZW of index 0, of index 1
        gif += std::string("\x21\xF9\x04\x00\x0A\x00\x00\x00", 8);
        gif += std::string("\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00", 10);
        gif += std::string("\x02\x02", 2) + pixel + std::string("\x01\x00", 2);
    }
    return gif + ";";
}

QColor CenterOf(const QSize& size, const QPixmap& pixmap) {
    return pixmap.toImage().pixelColor(size.width() / 2, size.height() / 2);
}

bool Near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 24 && std::abs(a.green() - b.green()) < 24 &&
           std::abs(a.blue() - b.blue()) < 24;
}

MailRecord Mail(int i) {
    char hms[16];
    std::snprintf(hms, sizeof hms, "%02d:%02d:%02d", i / 3600, i / 60 % 60, i % 60);
    return test::MailBuilder()
        .Date("2001/09/04", hms)
        .With("花子", "hanako@example.jp")
        .Subject("写真 " + std::to_string(i))
        .Body("写真を送ります。")
        .Build();
}

struct Fixture {
    Fixture() {
        std::filesystem::create_directories(dir / "config");
        std::filesystem::create_directories(dir / "data");
        test::WriteFile(dir / "config" / "KAMOMAIL.ini",
                        "[PostPet Mail Option]\nPostPet Dir=/tmp\nMy Mail Addr=kamo@example.jp\nDisplay Type=0\n");
        settings.settingsPath = (dir / "config" / "KAMOMAIL.ini").string();
        folders.settingsDir = dir / "config";
        folders.dataDir = dir / "data";
        db = OpenArchive(folders.DatabaseFile(), true);
        CreateTables(*db);
    }
    // The i-th mail of hanako@example.jp (the i-th line of her key), with `attachments`.
    MailKey Add(int i, const std::vector<Attachment>& attachments) {
        const MailRecord mail = Mail(i);
        test::InsertTestMail(*db, mail);
        AttachmentWriter writer(*db);
        for (std::size_t n = 0; n < attachments.size(); ++n)
            writer.Add(KeyOf(mail), static_cast<int64_t>(n + 1), attachments[n]);
        return KeyOf(mail);
    }
    void Open(int width, int height = 700) {
        RebuildNameList(*db);
        RebuildAddressList(*db);
        session = std::make_unique<ArchiveSession>(folders, nullptr, std::move(db), settings);
        window = std::make_unique<frmKamoMail>(*session, prompter);
        QVERIFY(window->Load());
        window->resize(width, height);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        pictures = window->findChild<QtMailPictures*>();
        QVERIFY(pictures);
        auto* keys = window->findChild<QListView*>("lstNameOrAddr");
        for (int k = 0; k < keys->model()->rowCount(); ++k)
            if (keys->model()->index(k, 0).data().toString() == "hanako@example.jp")
                window->ChooseKey(k);
    }
    // Shows the i-th mail and waits until its pictures are shown or have their notes.
    bool Show(int i, int timeoutMs = 20000) {
        window->ChooseSubject(i);
        QElapsedTimer clock;
        clock.start();
        while (pictures->Pending() > 0 && clock.elapsed() < timeoutMs)
            QTest::qWait(5);
        return pictures->Pending() == 0;
    }

    test::TempDir dir;
    Settings settings;
    AppFolders folders;
    ScriptedPrompter prompter;
    std::unique_ptr<SQLite::Database> db; // until the session takes it
    std::unique_ptr<ArchiveSession> session;
    std::unique_ptr<frmKamoMail> window;
    QtMailPictures* pictures = nullptr;
};

// One mail of hanako's with `body` and `attachments` in a window of `size`, shown with its pictures.
struct PictureMail {
    PictureMail(const std::vector<Attachment>& attachments, QSize size, const std::string& body = "写真を送ります。")
        : archive([&](SQLite::Database& db) {
              test::InsertTestMail(
                  db, test::Mail("2001/09/04", "21:05:33", false, "花子", "hanako@example.jp", "写真", body),
                  attachments);
          }) {
        QWidget& window = *archive.window;
        if (!archive.window->Load())
            return;
        window.resize(size);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return;
        pictures = window.findChild<QtMailPictures*>();
        text = archive.Find<QPlainTextEdit>("txtMail");
        list = window.findChild<QtAttachmentList*>();
        auto* keys = archive.Find<QListView>("lstNameOrAddr");
        for (int k = 0; k < keys->model()->rowCount(); ++k)
            if (keys->model()->index(k, 0).data().toString() == "hanako@example.jp")
                archive.window->ChooseKey(k);
        archive.window->ChooseSubject(0);
        QElapsedTimer clock;
        clock.start();
        while (pictures->Pending() > 0 && clock.elapsed() < 20000)
            QTest::qWait(5);
        QTest::qWait(20); // the text measured for its width
    }
    // Where `w` is in the pane's view.
    QRect InView(QWidget* w) const { return {w->mapTo(pictures->viewport(), QPoint(0, 0)), w->size()}; }

    test::WindowArchive archive;
    QtMailPictures* pictures = nullptr;
    QPlainTextEdit* text = nullptr;
    QtAttachmentList* list = nullptr;
};

void Press(QWidget* w, QPoint at) {
    QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(w, &press);
}
void MoveHeld(QWidget* w, QPoint at) {
    QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(w, &move);
}

} // namespace

// Records the files the desktop is asked to open.
class DesktopRecorder : public QObject {
    Q_OBJECT
public:
    std::vector<std::filesystem::path> opened;
    std::vector<std::string> bytes;
public slots:
    void Open(const QUrl& url) {
        opened.push_back(url.toLocalFile().toStdString());
        bytes.push_back(test::ReadFile(opened.back()));
    }
};

class frmPicturesTest : public QObject {
    Q_OBJECT
private slots:
    void picturesAreKnownByContentAndScaledToThePaneNeverAboveTheirSize() {
        Fixture f;
        f.Add(0, {{"photo.png", "image/png", Encoded(Filled(400, 300, Qt::red), "png")},
                  {"", "application/octet-stream", Encoded(Filled(200, 100, Qt::blue), "jpeg")},
                  {"memo.txt", "text/plain", "not a picture"},
                  {"zeichnung.bmp", "image/bmp", Encoded(Filled(50, 40, Qt::green), "bmp")}});
        f.Add(1, {{"資料.zip", "application/zip", "PK\x03\x04 not a picture"}});
        f.Open(900);
        // A narrow pane: the key list takes most of the window.
        auto* split = f.window->findChild<QSplitter*>("splMain");
        split->setSizes({600, 300});
        QVERIFY(f.Show(0));
        QVERIFY(f.pictures->isVisible());
        QCOMPARE(f.pictures->Count(), 3); // the text is no picture; the untyped JPEG is one
        QCOMPARE(f.pictures->NameAt(0), Q("photo.png"));
        QCOMPARE(f.pictures->NameAt(1), Q("添付ファイル2.jpg")); // named by its content's type
        QCOMPARE(f.pictures->NameAt(2), Q("zeichnung.bmp"));
        // A narrow pane: the 400x300 picture fills its width or its height, its ratio kept.
        const QSize narrow = f.pictures->ShownSize(0);
        const QSize room = f.pictures->PictureRoom();
        QVERIFY2(narrow.width() < 400, qPrintable(QString::number(narrow.width())));
        QVERIFY(narrow.width() <= room.width() && narrow.height() <= room.height());
        QVERIFY(narrow.width() >= room.width() - 1 || narrow.height() >= room.height() - 1);
        QVERIFY(std::abs(narrow.height() - narrow.width() * 300 / 400) <= 1);
        auto* label = f.pictures->findChildren<QLabel*>("imgPicture").at(0);
        QCOMPARE(label->pixmap().size(), narrow);
        QVERIFY(Near(CenterOf(narrow, label->pixmap()), Qt::red));
        QCOMPARE(f.pictures->ShownSize(2), QSize(50, 40));
        // A wide and tall pane: shown at their own size, never above it.
        f.window->resize(1800, 1100);
        QTRY_COMPARE(f.pictures->ShownSize(0), QSize(400, 300));
        QCOMPARE(f.pictures->ShownSize(1), QSize(200, 100));
        QVERIFY(
            Near(CenterOf(QSize(200, 100), f.pictures->findChildren<QLabel*>("imgPicture").at(1)->pixmap()), Qt::blue));
        // A mail without pictures hides their column; the pane shows the text alone.
        QVERIFY(f.Show(1));
        QCOMPARE(f.pictures->Count(), 0);
        QVERIFY(!f.pictures->PictureColumn()->isVisible());
        QVERIFY(f.pictures->isVisible());
    }

    void aBrokenOrHugePictureShowsItsNameAndANoteWithinBoundedMemoryAndTime() {
        const std::string png = Encoded(Filled(300, 200, Qt::red), "png");
        const std::string jpeg = Encoded(Filled(300, 200, Qt::red), "jpeg");
        std::string corrupted = png;
        for (std::size_t i = 40; i < corrupted.size(); i += 3)
            corrupted[i] = static_cast<char>(corrupted[i] ^ 0x5A);
        Fixture f;
        f.Add(0, {{"truncated.png", "image/png", png.substr(0, png.size() / 2)},
                  {"corrupted.png", "image/png", corrupted},
                  {"header.gif", "image/gif", "GIF89a\x10\x00\x10\x00 and nothing of a picture"},
                  {"not.jpg", "image/jpeg", "PK\x03\x04 a zip named as a picture"},
                  {"huge.png", "image/png", HugePng()},
                  {"huge.jpg", "image/jpeg", HugeJpeg()},
                  {"fine.png", "image/png", png},
                  {"cut.jpg", "image/jpeg", jpeg.substr(0, jpeg.size() / 2)}});
        f.Open(900, 1100); // room for the pictures at their own size
        QElapsedTimer clock;
        clock.start();
        QVERIFY(f.Show(0));
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(f.pictures->Count(), 8);
        for (int i = 0; i < 5; ++i) {
            QVERIFY2(f.pictures->NoteShown(i), qPrintable(f.pictures->NameAt(i)));
            QCOMPARE(f.pictures->ShownSize(i), QSize());
        }
        const auto notes = f.pictures->findChildren<QLabel*>("lblPictureNote");
        QVERIFY(std::any_of(notes.begin(), notes.end(), [](QLabel* note) {
            return note->isVisible() && note->text() == Q("画像を表示できません（壊れているか大きすぎます）");
        }));
        // The 100-megapixel JPEG is read scaled: shown within the pane, from at most the decode bound.
        QVERIFY(!f.pictures->NoteShown(5));
        QVERIFY(f.pictures->ShownSize(5).width() <= f.pictures->viewport()->width());
        QCOMPARE(f.pictures->ShownSize(5).width(), f.pictures->ShownSize(5).height());
        QCOMPARE(f.pictures->ShownSize(6), QSize(300, 200));
        QVERIFY(!f.pictures->NoteShown(6));
        // A JPEG cut short shows what it has, and says it is not whole.
        QCOMPARE(f.pictures->ShownSize(7), QSize(300, 200));
        QVERIFY(f.pictures->NoteShown(7));

        // The decoder itself: sizes read from the header, pixels never above the bound.
        const DecodedPicture scaled = DecodePicture(QByteArray::fromStdString(HugeJpeg()));
        QCOMPARE(scaled.sourceSize, QSize(10000, 10000));
        QCOMPARE(scaled.frames.size(), 1);
        QCOMPARE(scaled.frames[0].size(), QSize(kMaxDecodedWidth, kMaxDecodedWidth));
        const DecodedPicture huge = DecodePicture(QByteArray::fromStdString(HugePng()));
        QCOMPARE(huge.sourceSize, QSize(10000, 10000));
        QVERIFY(!huge.Shown());
    }

    void aMailOfManyLargePicturesHoldsNoMoreThanTheCacheWhileScrolledThrough() {
        // 2048x2048 of one colour: a few KB a file, 16 MB each when decoded whole.
        const std::string png = Encoded(Filled(2048, 2048, Qt::darkGreen), "png");
        std::vector<Attachment> many;
        for (int i = 0; i < 40; ++i)
            many.push_back({"p" + std::to_string(i) + ".png", "image/png", png});
        Fixture f;
        f.Add(0, many);
        f.Open(2400, 2000); // pictures decoded for a large room fill the cache
        f.window->findChild<QSplitter*>("splMain")->setSizes({300, 2100});
        f.pictures->SetLoadDelay(0);
        QVERIFY(f.Show(0));
        QCOMPARE(f.pictures->Count(), 40);
        const auto labels = f.pictures->findChildren<QLabel*>("imgPicture");
        QCOMPARE(labels.size(), 40);
        QScrollBar* bar = f.pictures->verticalScrollBar();
        qint64 most = 0;
        std::set<int> seen;
        for (int step = 0; step < 1000; ++step) {
            QElapsedTimer clock;
            clock.start();
            while (f.pictures->Pending() > 0 && clock.elapsed() < 20000)
                QTest::qWait(5);
            QCOMPARE(f.pictures->Pending(), 0);
            most = std::max(most, f.pictures->HeldBytes());
            QVERIFY2(f.pictures->HeldBytes() <= kPictureCacheBytes,
                     qPrintable(QString::number(f.pictures->HeldBytes())));
            // What is in view is shown, fitted to the pane.
            const QRect view = f.pictures->viewport()->rect();
            for (int i = 0; i < 40; ++i) {
                const QRect at(labels[i]->mapTo(f.pictures->viewport(), QPoint(0, 0)), labels[i]->size());
                if (!at.intersects(view))
                    continue;
                QVERIFY2(f.pictures->ShownSize(i).isValid(), qPrintable(QString::number(i)));
                QVERIFY(f.pictures->ShownSize(i).width() <= view.width());
                seen.insert(i);
            }
            if (bar->value() == bar->maximum())
                break;
            bar->setValue(bar->value() + view.height());
        }
        QCOMPARE(seen.size(), std::size_t(40));
        QVERIFY2(most > kPictureCacheBytes / 2, qPrintable(QString::number(most))); // the bound was reached
        // Back to the top: the first picture is decoded again.
        bar->setValue(0);
        QTRY_VERIFY(f.pictures->ShownSize(0).isValid());
        QVERIFY(f.pictures->HeldBytes() <= kPictureCacheBytes);

        // The decoder fits a picture to the width it is given, and says so when it narrowed it.
        const DecodedPicture fitted = DecodePicture(QByteArray::fromStdString(png), 600);
        QCOMPARE(fitted.frames.at(0).size(), QSize(600, 600));
        QCOMPARE(fitted.fittedWidth, 600);
        const DecodedPicture small =
            DecodePicture(QByteArray::fromStdString(Encoded(Filled(400, 300, Qt::red), "png")), 600);
        QCOMPARE(small.frames.at(0).size(), QSize(400, 300));
        QCOMPARE(small.fittedWidth, 0);
    }

    void anAnimatedGifPlays() {
        Fixture f;
        f.Add(0, {{"anim.gif", "image/gif", AnimatedGif()}});
        f.Open(900);
        QVERIFY(f.Show(0));
        QCOMPARE(f.pictures->ShownSize(0), QSize(1, 1));
        auto* label = f.pictures->findChildren<QLabel*>("imgPicture").at(0);
        std::set<QRgb> seen;
        QElapsedTimer clock;
        clock.start();
        while (seen.size() < 2 && clock.elapsed() < 3000) {
            seen.insert(label->pixmap().toImage().pixel(0, 0) | 0xFF000000u);
            QTest::qWait(20);
        }
        QCOMPARE(seen, (std::set<QRgb>{0xFF000000u, 0xFFFFFFFFu}));
        const DecodedPicture decoded = DecodePicture(QByteArray::fromStdString(AnimatedGif()));
        QCOMPARE(decoded.frames.size(), 2);
        QCOMPARE(decoded.delays, (QList<int>{100, 100}));
    }

    void aClickOpensAPrivateCopyThroughTheDesktop() {
        Fixture f;
        const std::string png = Encoded(Filled(120, 80, Qt::red), "png");
        f.Add(0, {{"memo.txt", "text/plain", "text"}, {"旅行.png", "image/png", png}});
        f.Open(900);
        DesktopRecorder desktop;
        QDesktopServices::setUrlHandler("file", &desktop, "Open");
        QVERIFY(f.Show(0));
        auto* label = f.pictures->findChildren<QLabel*>("imgPicture").at(0);
        QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(10, 10));
        QDesktopServices::unsetUrlHandler("file");
        QCOMPARE(desktop.opened.size(), std::size_t(1));
        QCOMPARE(desktop.opened[0].filename().string(), std::string("旅行.png"));
        QVERIFY(desktop.bytes[0] == png);
        QCOMPARE(int(std::filesystem::status(desktop.opened[0]).permissions() & std::filesystem::perms::all), 0600);
        QCOMPARE(
            int(std::filesystem::status(desktop.opened[0].parent_path()).permissions() & std::filesystem::perms::all),
            0700);
        // Locked while a command runs: a click opens nothing.
        f.window->LockControls();
        QDesktopServices::setUrlHandler("file", &desktop, "Open");
        QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(10, 10));
        QDesktopServices::unsetUrlHandler("file");
        f.window->UnlockControls();
        QCOMPARE(desktop.opened.size(), std::size_t(1));
    }

    void picturesFitThePaneInBothDirectionsAt800x600() {
        const struct {
            const char* name;
            QSize size;
            bool fills; // larger than the room: fills it in one direction
        } cases[] = {
            {"landscape 4:3", {1600, 1200}, true},
            {"portrait", {600, 1200}, true},
            {"small", {120, 90}, false},
        };
        for (const auto& c : cases) {
            PictureMail m(
                {{"photo.png", "image/png", Encoded(Filled(c.size.width(), c.size.height(), Qt::red), "png")}},
                QSize(800, 600));
            QVERIFY2(m.pictures && m.pictures->Count() == 1, c.name);
            QCOMPARE(m.archive.window->size(), QSize(800, 600));
            const QSize room = m.pictures->PictureRoom();
            // The pane has room to see a picture in (it was a strip of 25-60 pixels).
            QVERIFY2(room.height() >= 150, qPrintable(QString::number(room.height())));
            const QSize shown = m.pictures->ShownSize(0);
            QVERIFY2(shown.width() <= room.width() && shown.height() <= room.height(), c.name);
            QVERIFY2(std::abs(shown.width() * c.size.height() - shown.height() * c.size.width()) <=
                         std::max(c.size.width(), c.size.height()),
                     c.name); // ratio kept, within a pixel
            if (c.fills)
                QVERIFY2(shown.width() >= room.width() - 1 || shown.height() >= room.height() - 1, c.name);
            else
                QCOMPARE(shown, c.size);
            // Scrolled to, it is seen whole.
            auto* label = m.pictures->findChild<QLabel*>("imgPicture");
            m.pictures->ensureWidgetVisible(label, 0, 0);
            QVERIFY2(m.pictures->viewport()->rect().contains(m.InView(label)), c.name);
        }
    }

    void textAndPicturesScrollTogether() {
        std::string body;
        for (int i = 1; i <= 120; ++i)
            body += "行 " + std::to_string(i) + "\r\n";
        body += "最後の行";
        PictureMail m({{"photo.png", "image/png", Encoded(Filled(400, 300, Qt::red), "png")}}, QSize(800, 600), body);
        QVERIFY(m.pictures && m.pictures->Count() == 1);
        auto* label = m.pictures->findChild<QLabel*>("imgPicture");
        // The text is in the pane, whole: its own bar has nothing to move; the picture is under it.
        QVERIFY(m.pictures->widget()->isAncestorOf(m.text));
        QTRY_COMPARE(m.text->verticalScrollBar()->maximum(), 0);
        QVERIFY(label->mapTo(m.pictures->widget(), QPoint(0, 0)).y() >= m.text->geometry().bottom());
        QScrollBar* bar = m.pictures->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        // One bar moves both, by the same amount.
        const QRect text0 = m.InView(m.text), picture0 = m.InView(label);
        bar->setValue(bar->value() + 100);
        QCOMPARE(m.InView(m.text).top(), text0.top() - 100);
        QCOMPARE(m.InView(label).top(), picture0.top() - 100);
        // The wheel over the text moves the pane.
        bar->setValue(0);
        const QPoint at = m.text->viewport()->rect().center();
        QWheelEvent wheel(at, m.text->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, {},
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(m.text->viewport(), &wheel);
        QVERIFY(bar->value() > 0);
        // The keyboard cursor stays in view: Ctrl+End shows the last line, Ctrl+Home the first.
        m.text->setFocus();
        QTest::keyClick(m.text, Qt::Key_End, Qt::ControlModifier);
        QVERIFY(m.text->textCursor().atEnd());
        auto cursorInView = [&] {
            const QRect cursor(m.text->viewport()->mapTo(m.pictures->viewport(), m.text->cursorRect().topLeft()),
                               m.text->cursorRect().size());
            return m.pictures->viewport()->rect().contains(cursor);
        };
        QVERIFY(cursorInView());
        QTest::keyClick(m.text, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(bar->value(), 0);
        // Page Down moves the pane a page, the cursor with it.
        QTest::keyClick(m.text, Qt::Key_PageDown);
        QCOMPARE(bar->value(), bar->pageStep());
        QVERIFY(m.text->textCursor().blockNumber() > 0);
        QVERIFY(cursorInView());
        // Selecting all leaves the view where it was.
        const int before = bar->value();
        QTest::keyClick(m.text, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(m.text->textCursor().selectedText().size(), m.text->toPlainText().size());
        QCOMPARE(bar->value(), before);
    }

    void aShortMailWithoutPicturesFillsThePaneAndFollowsItsSize() {
        PictureMail m({}, QSize(800, 600), "短い本文");
        QVERIFY(m.pictures);
        QCOMPARE(m.pictures->Count(), 0);
        QTRY_VERIFY(m.text->height() >= m.pictures->viewport()->height());
        m.archive.window->resize(900, 800);
        QTRY_VERIFY(m.text->height() >= m.pictures->viewport()->height());
        QCOMPARE(m.pictures->verticalScrollBar()->maximum(), 0);
    }

    void aDamagedPictureShowsTheNoteNotAGreyBlock() {
        const std::string jpeg = Encoded(Filled(300, 200, Qt::red), "jpeg");
        const std::size_t sos = jpeg.find("\xFF\xDA");
        const std::size_t scanStart =
            sos + 2 + ((static_cast<unsigned char>(jpeg[sos + 2]) << 8) | static_cast<unsigned char>(jpeg[sos + 3]));
        const struct {
            const char* name;
            std::string bytes;
            bool shown; // else its note alone
        } cases[] = {
            {"cut before its picture data", jpeg.substr(0, scanStart), false},
            {"cut after its header", jpeg.substr(0, sos), false},
            {"cut halfway", jpeg.substr(0, jpeg.size() / 2), true},
            {"a PNG cut short", Encoded(Filled(300, 200, Qt::red), "png").substr(0, 60), false},
        };
        for (const auto& c : cases) {
            PictureMail m({{"photo.jpg", "image/jpeg", c.bytes}}, QSize(800, 600));
            QVERIFY2(m.pictures && m.pictures->Count() == 1, c.name);
            QVERIFY2(m.pictures->NoteShown(0), c.name);
            QVERIFY2(m.pictures->ShownSize(0).isValid() == c.shown, c.name);
            const auto* note = m.pictures->findChild<QLabel*>("lblPictureNote");
            QCOMPARE(note->text(), Q(c.shown ? kPictureCutNote : kPictureNote));
            QCOMPARE(m.pictures->findChild<QLabel*>("imgPicture")->isVisible(), c.shown);
        }
    }

    void anUnnamedPictureIsSavedWithItsTypesExtension() {
        const struct {
            const char* format;
            const char* storedType;
            std::string saved;
        } cases[] = {
            {"png", "application/octet-stream", "添付ファイル1.png"},
            {"jpeg", "application/octet-stream", "添付ファイル1.jpg"},
            {"gif", "", "添付ファイル1.gif"},           // Qt writes no GIF: a GIF of its own
            {"png", "image/jpeg", "添付ファイル1.png"}, // what it holds, not what it was called
        };
        for (const auto& c : cases) {
            const std::string bytes =
                std::string(c.format) == "gif" ? AnimatedGif() : Encoded(Filled(40, 30, Qt::blue), c.format);
            PictureMail m({{"", c.storedType, bytes}}, QSize(800, 600));
            QVERIFY2(m.pictures && m.pictures->Count() == 1, c.format);
            QCOMPARE(m.pictures->NameAt(0).toStdString(), c.saved);
            const std::filesystem::path folder = m.archive.dir / "saved";
            std::filesystem::create_directories(folder);
            m.list->SetFolderChooser([&](QWidget*) { return QString::fromStdString(folder.string()); });
            QVERIFY(m.list->SaveAll());
            QVERIFY2(test::ReadFile(folder / c.saved) == bytes, c.saved.c_str());
            QVERIFY(
                m.archive.Find<QListWidget>("lstAttachment")->item(0)->text().startsWith(Q(c.saved.c_str()) + Q("（")));
        }
    }

    void aPictureHasTheAttachmentsMenuAndDragsOutAsAFile() {
        const std::string png = Encoded(Filled(120, 80, Qt::red), "png");
        PictureMail m({{"", "application/octet-stream", png}}, QSize(800, 600));
        QVERIFY(m.pictures && m.pictures->Count() == 1);
        QCOMPARE(m.pictures->NameAt(0), Q("添付ファイル1.png"));
        // Right-click: open, save, copy.
        std::unique_ptr<QMenu> menu = m.pictures->MenuAt(0);
        QVERIFY(menu);
        QStringList captions;
        for (QAction* action : menu->actions())
            captions << action->text();
        QCOMPARE(captions, (QStringList{Q("開く"), Q("添付を保存"), Q("コピー")}));
        QString suggested;
        m.list->SetFileChooser([&](QWidget*, const QString& start) {
            suggested = start;
            return QString::fromStdString((m.archive.dir / "saved.png").string());
        });
        menu->actions().at(1)->trigger();
        QCOMPARE(QFileInfo(suggested).fileName(), Q("添付ファイル1.png"));
        QVERIFY(test::ReadFile(m.archive.dir / "saved.png") == png);
        menu->actions().at(2)->trigger();
        const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
        QVERIFY(copied && copied->hasUrls());
        QVERIFY(test::ReadFile(copied->urls().at(0).toLocalFile().toStdString()) == png);
        // Dragged with the mouse: the drag carries a private copy of the file, and the picture.
        std::unique_ptr<QMimeData> dragged;
        QWidget* source = nullptr;
        m.list->SetDragStarter([&](QMimeData* data, QWidget* from) {
            dragged.reset(data);
            source = from;
        });
        auto* label = m.pictures->findChild<QLabel*>("imgPicture");
        Press(label, QPoint(10, 10));
        MoveHeld(label, QPoint(10 + QApplication::startDragDistance() + 2, 10));
        QVERIFY(dragged);
        QVERIFY(m.pictures->isAncestorOf(source));
        QCOMPARE(dragged->urls().size(), 1);
        const std::filesystem::path file = dragged->urls().at(0).toLocalFile().toStdString();
        QCOMPARE(file.filename().string(), std::string("添付ファイル1.png"));
        QVERIFY(test::ReadFile(file) == png);
        QCOMPARE(qvariant_cast<QImage>(dragged->imageData()).size(), QSize(120, 80));
        // A drag is no click: nothing was opened.
        QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(20, 10));
    }

    void theCacheStaysWithinItsBoundOverAThousandMailsAndLateResultsAreDropped() {
        Fixture f;
        std::vector<MailKey> keys;
        std::vector<AttachmentEntry> entries;
        {
            SQLite::Transaction t(*f.db);
            for (int i = 0; i < 1000; ++i) {
                // 800x600 pixels: 1.9 MB each once decoded, so the cache holds about fifty. The first is
                // larger and of noise: slow to decode, so it can be left before it comes.
                QImage image = Filled(i == 0 ? 2400 : 800, i == 0 ? 1800 : 600, QColor::fromHsv(i % 360, 200, 200));
                if (i == 0)
                    for (int y = 0; y < image.height(); ++y)
                        QRandomGenerator(y).fillRange(reinterpret_cast<quint32*>(image.scanLine(y)), image.width());
                const std::string png = Encoded(image, "png");
                keys.push_back(f.Add(i, {{"p" + std::to_string(i) + ".png", "image/png", png}}));
                entries.push_back({1, "p" + std::to_string(i) + ".png", "image/png", static_cast<int64_t>(png.size())});
            }
            t.commit();
        }
        f.Open(900);
        f.pictures->SetLoadDelay(0);
        qint64 most = 0;
        for (int i = 0; i < 1000; ++i) {
            QVERIFY2(f.Show(i), qPrintable(QString::number(i)));
            QVERIFY(f.pictures->ShownSize(0).isValid());
            most = std::max(most, f.pictures->CacheCost());
            QVERIFY(f.pictures->CacheCost() <= f.pictures->CacheLimit());
        }
        QCOMPARE(f.pictures->CacheLimit(), kPictureCacheBytes);
        QVERIFY(most > kPictureCacheBytes / 2); // it did fill
        QVERIFY(!f.pictures->Cached(keys[0], entries[0]));
        QVERIFY(f.pictures->Cached(keys[999], entries[999]));
        // Back to a recent mail: shown at once from the cache, nothing to wait for.
        f.window->ChooseSubject(998);
        QCOMPARE(f.pictures->Pending(), 0);
        QVERIFY(f.pictures->ShownSize(0).isValid());

        // A mail left before its picture came: its result is dropped, never cached nor shown.
        f.window->ChooseSubject(0);
        QCOMPARE(f.pictures->Pending(), 1);
        QCoreApplication::processEvents(); // the bytes are read and the decode starts
        f.window->ChooseSubject(1);
        QVERIFY(f.Show(1));
        QTest::qWait(200);
        QVERIFY(!f.pictures->Cached(keys[0], entries[0]));
        QVERIFY(f.pictures->Cached(keys[1], entries[1]));
        QCOMPARE(f.pictures->Count(), 1);
        QCOMPARE(f.pictures->NameAt(0), Q("p1.png"));
    }
};

QTEST_MAIN(frmPicturesTest)
#include "frmPictures_test.moc"
