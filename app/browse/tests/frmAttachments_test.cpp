// Attachments in the main window: a mail read through the read button lists its attachments under
// its text, and saving them gives the very bytes the mail carried, never over an existing file.
#include <QAbstractItemModel>
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <set>

#include "browse/QtAttachmentList.h"
#include "browse/frmKamoMail.h"
#include "db/ArchiveSession.h"
#include "db/Schema.h"
#include "ppwriter/MailboxWriter.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

std::string Picture() {
    std::string bytes = std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11) + "\r\r\n\n";
    for (int i = 0; i < 3000; ++i)
        bytes += static_cast<char>(i * 7 % 256);
    return bytes;
}

const std::string kBinary = std::string("\x00\x01\r\n\x1A\x00", 6) + "zip";

ppw::Mail WithAttachments() {
    ppw::Mail m;
    m.raw = true;
    m.from = "hanako@example.jp";
    m.to = "kamo@example.jp";
    m.subject = ppw::EncodedWord("写真です");
    m.date = "Tue, 04 Sep 2001 21:05:33 +0900";
    m.header = "From: hanako@example.jp\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n";
    m.body = ppw::Multipart(
        "b", {"Content-Type: text/plain; charset=ISO-2022-JP\r\n\r\n" + ppw::ToIso2022Jp("旅行の写真です。"),
              "Content-Type: image/jpeg; name=\"" + ppw::EncodedWord("旅行.jpg") +
                  "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + ppw::Base64(Picture()),
              "Content-Type: application/zip\r\nContent-Transfer-Encoding: base64\r\n"
              "Content-Disposition: attachment; filename*=UTF-8''%E8%B3%87%E6%96%99.zip\r\n\r\n" +
                  ppw::Base64(kBinary)});
    return m;
}

ppw::Mail Plain() {
    ppw::Mail m;
    m.from = "山田 花子 <hanako@example.jp>";
    m.to = "kamo@example.jp";
    m.subject = "添付なし";
    m.date = "Mon, 03 Sep 2001 08:00:00 +0900";
    m.body = "本文だけ\r\n";
    return m;
}

struct Fixture {
    Fixture() {
        std::filesystem::create_directories(dir / "config");
        std::filesystem::create_directories(dir / "data");
        std::filesystem::create_directories(dir / "PostPet" / "受信フォルダ");
        std::filesystem::create_directories(saveTo);
        ppw::WriteMailbox(dir / "PostPet" / "受信フォルダ" / "受信リスト.ppl",
                          dir / "PostPet" / "受信フォルダ" / "受信メール.ppm", {WithAttachments(), Plain()});
        test::WriteFile(dir / "config" / "KAMOMAIL.ini",
                        "[PostPet Mail Option]\nPostPet Dir=" + (dir / "PostPet").string() +
                            "\nMy Mail Addr=kamo@example.jp\nDisplay Type=0\n[Mail Options]\n"
                            "Send Mail Read Option=0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n"
                            "Reciev Mail Read Option=1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n");
        settings.settingsPath = (dir / "config" / "KAMOMAIL.ini").string();
        folders.settingsDir = dir / "config";
        folders.dataDir = dir / "data";
        folders.libraryPath = test::BuildLibraryPath();
        auto db = OpenArchive(folders.DatabaseFile(), true);
        CreateTables(*db);
        session = std::make_unique<ArchiveSession>(folders, nullptr, std::move(db), settings);
        window = std::make_unique<frmKamoMail>(*session, prompter);
    }
    template <typename T> T* Find(const char* name) const { return window->findChild<T*>(name); }

    // Reads the mailbox with the read button and shows the hanako@example.jp mail with `subject`.
    bool ShowMail(const QString& subject) {
        auto* keys = Find<QListView>("lstNameOrAddr");
        for (int k = 0; k < keys->model()->rowCount(); ++k) {
            if (keys->model()->index(k, 0).data().toString() != "hanako@example.jp")
                continue;
            window->ChooseKey(k);
            auto* subjects = Find<QListView>("lstSubject");
            for (int s = 0; s < subjects->model()->rowCount(); ++s) {
                if (subjects->model()->index(s, 0).data().toString().contains(subject)) {
                    window->ChooseSubject(s);
                    return true;
                }
            }
        }
        return false;
    }

    std::set<std::string> Saved() const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(saveTo))
            names.insert(e.path().filename().string());
        return names;
    }

    test::TempDir dir;
    std::filesystem::path saveTo = dir / "saved";
    Settings settings;
    AppFolders folders;
    ScriptedPrompter prompter;
    std::unique_ptr<ArchiveSession> session; // outlives the window
    std::unique_ptr<frmKamoMail> window;
};

QString Q(const char* s) {
    return QString::fromUtf8(s);
}

} // namespace

class frmAttachmentsTest : public QObject {
    Q_OBJECT
private slots:
    void attachmentsAreListedUnderTheMailAndSavedByteForByteWithoutOverwriting() {
        Fixture f;
        QVERIFY(f.window->Load());
        f.window->show();
        f.Find<QPushButton>("comMailRead")->click();
        QVERIFY(f.ShowMail(Q("写真です")));
        auto* list = f.window->findChild<QtAttachmentList*>();
        QVERIFY(list);
        QVERIFY(list->isVisible());
        QCOMPARE(list->Count(), 2);
        auto* lines = f.Find<QListWidget>("lstAttachment");
        QCOMPARE(lines->item(0)->text(), Q("旅行.jpg（3,015 バイト）"));
        QCOMPARE(lines->item(1)->text(), Q("資料.zip（9 バイト）"));
        QVERIFY(f.window->CurrentMail()->body.find("旅行の写真です。") == 0);

        int asked = 0;
        QString answer = QString::fromStdString(f.saveTo.string());
        list->SetFolderChooser([&](QWidget*) {
            ++asked;
            return answer;
        });
        const size_t before = f.prompter.shown.size();
        f.Find<QPushButton>("cmdAttachSaveAll")->click();
        QCOMPARE(asked, 1);
        QCOMPARE(f.Saved(), (std::set<std::string>{"旅行.jpg", "資料.zip"}));
        QVERIFY(test::ReadFile(f.saveTo / "旅行.jpg") == Picture());
        QVERIFY(test::ReadFile(f.saveTo / "資料.zip") == kBinary);
        QCOMPARE(f.prompter.shown.size(), before + 1);
        QVERIFY(f.prompter.shown.back().text.find("に保存しました。") != std::string::npos);

        // Again: new names beside the files already there.
        test::WriteFile(f.saveTo / "資料 (2).zip", "someone else's");
        f.Find<QPushButton>("cmdAttachSaveAll")->click();
        QCOMPARE(f.Saved(),
                 (std::set<std::string>{"旅行.jpg", "旅行 (2).jpg", "資料.zip", "資料 (2).zip", "資料 (3).zip"}));
        QVERIFY(test::ReadFile(f.saveTo / "資料 (2).zip") == "someone else's");
        QVERIFY(test::ReadFile(f.saveTo / "資料 (3).zip") == kBinary);
        QCOMPARE(asked, 2);

        // Cancelled: nothing written, nothing said. A folder that cannot be written: said so.
        answer.clear();
        const size_t shown = f.prompter.shown.size();
        f.Find<QPushButton>("cmdAttachSaveAll")->click();
        QCOMPARE(f.prompter.shown.size(), shown);
        QCOMPARE(f.Saved().size(), size_t(5));
        answer = QString::fromStdString((f.dir / "no-such-folder").string());
        QVERIFY(!list->SaveAll());
        QVERIFY(f.prompter.shown.back().text.find("保存できませんでした") != std::string::npos);

        // A mail without attachments hides the list; so does a command's lock switch it off.
        QVERIFY(f.ShowMail(Q("添付なし")));
        QVERIFY(!list->isVisible());
        QCOMPARE(list->Count(), 0);
        QVERIFY(f.ShowMail(Q("写真です")));
        f.window->LockControls();
        QVERIFY(!list->isEnabled());
        f.window->UnlockControls();
        QVERIFY(list->isEnabled());
    }

    void saveAsksForAFileNameForOneAttachment() {
        Fixture f;
        QVERIFY(f.window->Load());
        f.window->show();
        f.Find<QPushButton>("comMailRead")->click();
        QVERIFY(f.ShowMail(Q("写真です")));
        auto* list = f.window->findChild<QtAttachmentList*>();
        auto* lines = f.Find<QListWidget>("lstAttachment");
        int folders = 0;
        list->SetFolderChooser([&](QWidget*) {
            ++folders;
            return QString();
        });
        QStringList suggested;
        QString answer;
        list->SetFileChooser([&](QWidget*, const QString& start) {
            suggested << start;
            return answer;
        });
        const struct {
            const char* name;
            int row;
            std::string answer;   // the file the user names; empty: cancelled
            std::string expected; // its bytes afterwards
            bool replaces;        // a file of that name was there (the dialog asked first)
        } cases[] = {
            {"a new name", 0, "思い出.jpg", Picture(), false},
            {"the zip", 1, "資料のコピー.zip", kBinary, false},
            {"an existing file the user chose", 1, "前のもの.zip", kBinary, true},
            {"cancelled", 0, "", "", false},
        };
        for (const auto& c : cases) {
            const std::filesystem::path target = f.saveTo / (c.answer.empty() ? "unused" : c.answer);
            if (c.replaces)
                test::WriteFile(target, "older");
            answer = c.answer.empty() ? QString() : QString::fromStdString(target.string());
            const std::size_t said = f.prompter.shown.size();
            lines->setCurrentRow(c.row);
            f.Find<QPushButton>("cmdAttachSave")->click();
            QCOMPARE(folders, 0); // a file name asked for, not a folder
            // It starts from the attachment's own name.
            QCOMPARE(QFileInfo(suggested.back()).fileName(), c.row == 0 ? Q("旅行.jpg") : Q("資料.zip"));
            if (c.answer.empty()) {
                QCOMPARE(f.prompter.shown.size(), said);
                QVERIFY(!std::filesystem::exists(target));
                continue;
            }
            QVERIFY2(test::ReadFile(target) == c.expected, c.name);
            QVERIFY(f.prompter.shown.back().text.find(c.answer) != std::string::npos);
        }
        // The next question starts in the folder of the last save.
        QCOMPARE(QFileInfo(suggested.back()).absolutePath(), QString::fromStdString(f.saveTo.string()));
    }

    void anAttachmentDragsOutAsAFileAndHasItsMenu() {
        Fixture f;
        QVERIFY(f.window->Load());
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        f.Find<QPushButton>("comMailRead")->click();
        QVERIFY(f.ShowMail(Q("写真です")));
        auto* list = f.window->findChild<QtAttachmentList*>();
        auto* lines = f.Find<QListWidget>("lstAttachment");
        const struct {
            int row;
            const char* name;
            std::string bytes;
        } cases[] = {{0, "旅行.jpg", Picture()}, {1, "資料.zip", kBinary}};
        for (const auto& c : cases) {
            std::unique_ptr<QMimeData> dragged;
            list->SetDragStarter([&](QMimeData* data, QWidget*) { dragged.reset(data); });
            const QPoint at = lines->visualItemRect(lines->item(c.row)).center();
            QMouseEvent press(QEvent::MouseButtonPress, at, lines->viewport()->mapToGlobal(at), Qt::LeftButton,
                              Qt::LeftButton, {});
            QApplication::sendEvent(lines->viewport(), &press);
            const QPoint to = at + QPoint(QApplication::startDragDistance() + 2, 0);
            QMouseEvent move(QEvent::MouseMove, to, lines->viewport()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                             {});
            QApplication::sendEvent(lines->viewport(), &move);
            QVERIFY2(dragged, c.name);
            QCOMPARE(dragged->urls().size(), 1);
            const std::filesystem::path file = dragged->urls().at(0).toLocalFile().toStdString();
            QCOMPARE(file.filename().string(), std::string(c.name));
            QVERIFY(test::ReadFile(file) == c.bytes);
            QCOMPARE(int(std::filesystem::status(file).permissions() & std::filesystem::perms::all), 0600);
            QMouseEvent release(QEvent::MouseButtonRelease, to, lines->viewport()->mapToGlobal(to), Qt::LeftButton,
                                Qt::NoButton, {});
            QApplication::sendEvent(lines->viewport(), &release);
        }
        // The menu of a line: open, save, copy; switched off with the list by a command's lock.
        std::unique_ptr<QMenu> menu = list->MenuOf(2, list);
        QStringList captions;
        for (QAction* action : menu->actions())
            captions << action->text();
        QCOMPARE(captions, (QStringList{Q("開く"), Q("添付を保存"), Q("コピー")}));
        QVERIFY(menu->isEnabled());
        menu->actions().at(2)->trigger();
        const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
        QVERIFY(copied && copied->hasUrls());
        QVERIFY(test::ReadFile(copied->urls().at(0).toLocalFile().toStdString()) == kBinary);
        f.window->LockControls();
        QVERIFY(!list->MenuOf(2, list)->isEnabled());
        f.window->UnlockControls();
    }

    void aDoubleClickOpensAPrivateCopyWithTheDesktopsProgram() {
        Fixture f;
        QVERIFY(f.window->Load());
        f.window->show();
        f.Find<QPushButton>("comMailRead")->click();
        QVERIFY(f.ShowMail(Q("写真です")));
        auto* list = f.window->findChild<QtAttachmentList*>();
        auto* lines = f.Find<QListWidget>("lstAttachment");
        // Both lines shown whole, each with its name as the tool tip.
        QVERIFY(lines->height() >= 2 * lines->sizeHintForRow(0));
        QCOMPARE(lines->item(1)->toolTip(), lines->item(1)->text());
        int asked = 0;
        list->SetFolderChooser([&](QWidget*) {
            ++asked;
            return QString();
        });
        std::filesystem::path opened;
        std::string openedBytes;
        list->SetFileOpener([&](const QString& file) {
            opened = file.toStdString();
            openedBytes = test::ReadFile(opened);
            return true;
        });
        lines->setCurrentRow(1);
        emit lines->itemActivated(lines->item(1));
        QCOMPARE(asked, 0); // no folder asked for
        QCOMPARE(opened.filename().string(), std::string("資料.zip"));
        QVERIFY(openedBytes == kBinary);
        const auto fileMode = std::filesystem::status(opened).permissions();
        const auto folderMode = std::filesystem::status(opened.parent_path()).permissions();
        QCOMPARE(int(fileMode & std::filesystem::perms::all), 0600);
        QCOMPARE(int(folderMode & std::filesystem::perms::all), 0700);
        // The copies go with the window.
        f.window = nullptr;
        QVERIFY(!std::filesystem::exists(opened.parent_path()));
    }
};

QTEST_MAIN(frmAttachmentsTest)
#include "frmAttachments_test.moc"
