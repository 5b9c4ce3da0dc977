// The friend book from the main window: a double-click on a friend shows their mail, and the first start
// beside a PostPet folder offers its friend file once.
#include <QAction>
#include <QListView>
#include <QTableWidget>
#include <QTest>

#include "browse/frmKamoMail.h"
#include "browse/tests/WindowArchive.h"
#include "friends/FriendBook.h"
#include "friends/FriendCommands.h"
#include "friends/frmFriend.h"
#include "platform/ProfileFile.h"
#include "ppwriter/MailboxWriter.h"

using namespace kamo;

namespace {

using test::Mail;

struct Fixture : test::WindowArchive {
    Fixture()
        : WindowArchive([](SQLite::Database& db) {
              test::InsertTestMail(db, Mail("2002/03/01", "09:00:00", false, "太郎", "taro@example.jp", "a", "b"));
              test::InsertTestMail(db, Mail("2002/03/02", "08:00:00", true, "太郎", "taro@example.jp", "c", "d"));
              test::InsertTestMail(db, Mail("2001/12/24", "20:00:00", false, "花子", "hana@example.jp", "e", "f"));
          }) {}
    QListView* Keys() const { return Find<QListView>("lstNameOrAddr"); }
    QListView* Subjects() const { return Find<QListView>("lstSubject"); }
    // The main window as the next start makes it, over the same settings and archive.
    void StartAgain() {
        window = std::make_unique<frmKamoMail>(*session, prompter);
        QVERIFY(LoadAndShow());
    }
    size_t Questions() const {
        return std::count_if(prompter.shown.begin(), prompter.shown.end(), [](const auto& s) { return s.question; });
    }
};

} // namespace

class frmFriendWindowTest : public QObject {
    Q_OBJECT
private slots:
    void aDoubleClickInTheBookShowsTheFriendsMail() {
        struct Case {
            const char* what;
            int16_t displayType; // the view the window is in
            const char* address; // the friend double-clicked, as the book spells it
            const char* key;     // the key then chosen; nullptr: none, the user is told
            int mails;
        };
        const Case cases[] = {
            {"from the date view", 2, "taro@example.jp", "taro@example.jp", 2},
            {"in other letter case", 0, "Hana@Example.JP", "hana@example.jp", 1},
            {"a friend without mail", 1, "jiro@example.jp", nullptr, 0},
        };
        for (const Case& c : cases) {
            Fixture f;
            SaveFriends(f.session->Database(), {{"1", "タマ", "", c.address, 0}});
            QVERIFY(f.window->Load());
            f.session->AppSettings().displayType = c.displayType;
            f.window->ShowViewMode();
            f.window->show();
            bool bookClosed = false;
            f.window->SetFriendBookRunner([&](frmFriend& book) {
                book.show();
                if (!QTest::qWaitForWindowExposed(&book))
                    return -1;
                auto* grid = book.findChild<QTableWidget*>("grdFriend");
                const QPoint at = grid->visualItemRect(grid->item(0, 3)).center();
                QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at); // a double-click's first press
                QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
                bookClosed = !book.isVisible();
                return book.result();
            });
            f.Find<QAction>("memFriendEd")->trigger();
            QVERIFY2(bookClosed, c.what);
            QCOMPARE(f.session->AppSettings().displayType, int16_t(0));
            if (c.key) {
                QCOMPARE(f.Keys()->currentIndex().data().toString(), QString(c.key));
                QCOMPARE(f.Subjects()->model()->rowCount(), c.mails);
                QCOMPARE(f.window->focusWidget(), f.Keys()); // the window's focus, for when it is active again
            } else {
                QVERIFY(!f.Keys()->currentIndex().isValid());
                QCOMPARE(f.prompter.shown.back().text, std::string(c.address) + " のメールはありません。");
            }
        }
    }

    void theFirstStartOffersTheFriendFileBesideTheMailboxesOnce() {
        struct Case {
            const char* what;
            const char* fileName; // the friend file in the PostPet folder; nullptr: none
            bool bookFilled;      // the book has a friend already
            bool answer;
            size_t questions;
            size_t friends; // in the book after both starts
        };
        const Case cases[] = {
            {"yes reads it", "Friend.dat", false, true, 1, 2},
            {"no is remembered", "Friend.dat", false, false, 1, 0},
            {"a name from a Windows disk", "FRIEND.DAT", false, true, 1, 2},
            {"a book already kept", "Friend.dat", true, true, 0, 1},
            {"no friend file", nullptr, false, true, 0, 0},
        };
        for (const Case& c : cases) {
            Fixture f;
            const auto postPet = f.dir / "PostPet";
            std::filesystem::create_directories(postPet);
            if (c.fileName)
                ppw::WriteFriendFile(postPet / c.fileName, {{10, "ポチ", "太郎", "taro@example.jp", 2},
                                                            {1, "タマ", "花子", "hana@example.jp", 1}});
            if (c.bookFilled)
                SaveFriends(f.session->Database(), {{"1", "タマ", "", "jiro@example.jp", 0}});
            QVERIFY(
                WriteProfileString(f.settings.settingsPath, "PostPet Mail Option", "PostPet Dir", postPet.string()));
            f.prompter.QueueAnswer(c.answer);
            // Asked once the window is on screen (the start's splash gone), not during the load.
            QVERIFY(f.window->Load());
            QCOMPARE(f.Questions(), size_t(0));
            f.window->show();
            QTest::qWait(0);
            QVERIFY2(f.Questions() == c.questions, c.what);
            if (c.questions > 0) {
                const auto& asked = *std::find_if(f.prompter.shown.begin(), f.prompter.shown.end(),
                                                  [](const auto& s) { return s.question; });
                QCOMPARE(asked.text, "PostPet のおともだちファイルが見つかりました。おともだち帳に読み込みますか？\n" +
                                         (postPet / c.fileName).string());
            }
            f.prompter.QueueAnswer(true);
            f.StartAgain();
            QVERIFY2(f.Questions() == c.questions, c.what); // never asked a second time
            QVERIFY2(LoadFriends(f.session->Database()).size() == c.friends, c.what);
        }
    }
};

QTEST_MAIN(frmFriendWindowTest)
#include "frmFriendWindow_test.moc"
