// The conversation of the chosen mail: the line under its header, the command, and the page that
// shows every mail of it in date order.
#include <QAction>
#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTest>

#include "browse/frmConversation.h"
#include "browse/frmKamoMail.h"
#include "browse/tests/WindowArchive.h"
#include "db/ArchiveSession.h"
#include "db/Attachments.h"
#include "db/HeaderFields.h"
#include "db/LookupLists.h"
#include "db/Schema.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

QString Q(const char* s) {
    return QString::fromUtf8(s);
}

std::string Png() {
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

struct Fixture : test::WindowArchive {
    Fixture()
        : WindowArchive([](SQLite::Database& db) {
              // Hanako asks, the owner answers by a mailer that threads, Hanako replies from PostPet with a
              // picture; an older mail with the same subject stays apart.
              Add(db, "2001/06/01", false, "旅行の相談", "去年の旅行", "", "");
              Add(db, "2002/04/01", false, "旅行の相談", "どこへ行こうか", "<q@hana>", "");
              Add(db, "2002/04/02", true, "Re: 旅行の相談", "京都はどう？", "<a@kamo>", "<q@hana>");
              const MailKey last = Add(db, "2002/04/03", false, "Re: 旅行の相談", "いいね、行こう", "", "");
              AttachmentWriter(db).Add(last, 1, Attachment{"kyoto.png", "image/png", Png()});
          }) {}
    static MailKey Add(SQLite::Database& db, const char* ymd, bool sent, const char* subject, const char* body,
                       const char* id, const char* inReplyTo) {
        MailRecord m;
        m.ymd = ymd;
        m.hms = "09:00:00";
        m.sent = sent;
        m.sndName = sent ? "かも" : "花子";
        m.sndAdd = sent ? "kamo@example.jp" : "hana@example.jp";
        m.rcvName = sent ? "花子" : "かも";
        m.rcvAdd = sent ? "hana@example.jp" : "kamo@example.jp";
        m.subject = subject;
        m.body = body;
        test::InsertTestMail(db, m);
        HeaderFields h;
        h.messageId = id;
        h.inReplyTo = h.references = inReplyTo;
        HeaderFieldWriter(db).Put(KeyOf(m), h);
        return KeyOf(m);
    }
    // The search field lists the mails with `text`, newest first; the line `row` is chosen.
    void Choose(const char* text, int row) const {
        auto* field = Find<QLineEdit>("txtSearch");
        field->clear();
        field->insert(Q(text));
        QTest::keyClick(field, Qt::Key_Return);
        window->ChooseSubject(row);
    }
};

} // namespace

class frmConversationTest : public QObject {
    Q_OBJECT
private slots:
    void theLineCountsTheConversationAndThePageShowsEveryMailInOrder();
};

void frmConversationTest::theLineCountsTheConversationAndThePageShowsEveryMailInOrder() {
    Fixture f;
    QVERIFY(f.window->Load());
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    auto* line = f.Find<QLabel>("lblConversation");
    auto* command = f.Find<QAction>("memConversation");
    QVERIFY(line && command);

    f.Choose("旅行", 3); // the oldest: alone
    QVERIFY(!line->isVisible());
    f.Choose("京都", 0); // the owner's answer
    QVERIFY(line->isVisible());
    QVERIFY(line->text().contains(Q("この会話: 3 通")));
    QVERIFY(command->isEnabled());

    command->trigger();
    auto* page = f.window->findChild<frmConversation*>("frmConversation");
    QVERIFY(page && page->isVisible());
    QCOMPARE(page->MailCount(), 3);
    QStringList texts;
    for (auto* text : page->findChildren<QLabel*>("lblConversationText"))
        texts << text->text();
    QCOMPARE(texts, (QStringList{Q("どこへ行こうか"), Q("京都はどう？"), Q("いいね、行こう")}));
    QCOMPARE(page->findChildren<QFrame*>("frmSentMail").size(), 1);
    QCOMPARE(page->findChildren<QFrame*>("frmReceivedMail").size(), 2);
    QCOMPARE(page->findChildren<QLabel*>("picConversation").size(), 1);

    // Esc goes back: the page closes, the window shows what it showed.
    QTest::keyClick(page, Qt::Key_Escape);
    QTRY_VERIFY(!f.window->findChild<frmConversation*>("frmConversation"));
    QVERIFY(line->text().contains(Q("この会話: 3 通")));

    // A change to the archive is seen: the first mail gone, two are left.
    f.session->Database().exec("DELETE FROM tblKamoMail WHERE tblKamoMail_YMD = '2002/04/01'");
    f.Choose("京都", 0);
    QVERIFY(line->text().contains(Q("この会話: 2 通")));
}

QTEST_MAIN(frmConversationTest)
#include "frmConversation_test.moc"
