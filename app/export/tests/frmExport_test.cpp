// The export window and its command (MemMailExport with the window run by the test): the read mark,
// 中止 during a long export, the window kept with its choices after a failure, the format and
// folder remembered, and counts shown with separators.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <SQLiteCpp/Transaction.h>
#include <set>
#include <variant>

#include "common/Messages.h"
#include "common/NumberText.h"
#include "db/ArchiveSession.h"
#include "db/MailOriginals.h"
#include "db/Schema.h"
#include "export/QtExportCommand.h"
#include "export/frmExport.h"
#include "export/frmOriginalHeader.h"
#include "platform/Folders.h"
#include "testsupport/DovecotServer.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

class frmExportTest : public QObject {
    Q_OBJECT
private slots:
    void everyMailIsReadUnlessAskedAndEmlHasNoMark();
    void theChosenMarkGoesIntoTheExport();
    void stopEndsALongExportWithinASecondAndLeavesNoPartialMbox();
    void aFailureBringsTheWindowBackWithItsChoices();
    void theFormatAndFolderAreRememberedForTheNextExport();
    void countsAreShownWithSeparators();
    void originalsAndFoldersAreOfferedAndCounted();
    void theOriginalHeaderIsShownOnRequest();
    void theServersFieldsGiveTheTargetTheyTyped();
    void anUploadPutsEachMailThereOnceAndAgainNone();
};

namespace {

// An archive of `count` mails, one a second from 2002/03/01 09:00 (Japan), in a session of its own.
struct Archive {
    test::TempDir dir;
    std::unique_ptr<ArchiveSession> session;
    explicit Archive(int count) {
        AppFolders folders;
        folders.settingsDir = dir / "config";
        folders.dataDir = dir / "data";
        std::filesystem::create_directories(folders.settingsDir);
        std::filesystem::create_directories(folders.dataDir);
        auto db = OpenArchive(folders.DatabaseFile(), true);
        CreateTables(*db);
        SQLite::Transaction transaction(*db);
        for (int i = 0; i < count; ++i)
            test::InsertTestMail(*db, MailAt(i));
        transaction.commit();
        session = std::make_unique<ArchiveSession>(folders, nullptr, std::move(db), Settings{});
    }
    // The archive's mail number `i` (from 0), as it was stored.
    static MailRecord MailAt(int i) {
        MailRecord mail;
        mail.ymd = "2002/03/01";
        char hms[16];
        std::snprintf(hms, sizeof hms, "%02d:%02d:%02d", 9 + i / 3600, i / 60 % 60, i % 60);
        mail.hms = hms;
        mail.sndName = "太郎";
        mail.sndAdd = "taro@example.jp";
        mail.rcvName = "かも";
        mail.rcvAdd = "kamo@example.jp";
        mail.subject = "件名 " + std::to_string(i);
        mail.body = "本文 " + std::to_string(i) + "\nFrom the second line on.";
        return mail;
    }
    // Mail number `i` kept with an original from the PostPet mailbox `mailbox`.
    void KeepOriginal(int i, const std::string& mailbox) {
        MailOriginal original;
        original.header = "Subject: " + std::to_string(i) + "\r\n\r\n";
        original.body = "as sent\r\n";
        OriginalWriter(session->Database()).Put(KeyOf(MailAt(i)), original, mailbox, kDecodingVersion);
    }
};

// The window's seams as they were, put back when a test ends (passed or not).
struct SeamsKept {
    ExportDialogHooks kept = ExportDialogSeams();
    ~SeamsKept() { ExportDialogSeams() = kept; }
};

// The upload chosen in the window with the server's fields and the password typed.
void TypeServer(frmExport& dialog, const ImapTargetFields& fields, const QString& password) {
    dialog.SetFormat(MailFormat::Imap);
    dialog.SetServerFields(fields);
    dialog.findChild<QLineEdit*>("txtPassword")->clear();
    dialog.findChild<QLineEdit*>("txtPassword")->insert(password);
}

// What the window gives back, "user@host:port/folder scheme", or the words of its refusal.
std::string Given(const frmExport& dialog) {
    const auto given = dialog.UploadTarget();
    if (const auto* refusal = std::get_if<Failure>(&given))
        return MessageOf(*refusal);
    const auto& t = std::get<ImapTarget>(given);
    return t.user + "@" + t.host + ":" + std::to_string(t.port) + "/" + t.folder + " " + ImapSchemeOf(t.tls);
}

// A wait window as the main window's behaves: its events run at most every 50 ms, and a 中止 button
// is shown while the work offers it; a click asks the work to stop.
class WindowWait : public WaitReporter {
public:
    QWidget window;
    QPushButton* stop = new QPushButton(QString::fromUtf8("中　止"), &window);
    std::string countLine;
    std::set<std::string> notes; // what the line under the count named
    std::function<void(int64_t)> onProgress;
    WindowWait() {
        stop->hide();
        QObject::connect(stop, &QPushButton::clicked, [this] { requested_ = true; });
        sincePump_.start();
    }
    void SetLine(int index, const std::string& text) override {
        if (index == 3 && !text.empty())
            countLine = text;
        if (index == 4 && !text.empty())
            notes.insert(text);
    }
    void SetProgress(int64_t done, int64_t) override {
        if (onProgress)
            onProgress(done);
    }
    void Pump() override {
        if (sincePump_.elapsed() < 50)
            return;
        sincePump_.restart();
        QApplication::processEvents();
    }
    void Begin() override { window.show(); }
    void End() override {
        stop->hide();
        window.hide();
    }
    void OfferCancel() override {
        requested_ = false;
        stop->show();
        stopQuestion.clear();
    }
    void OfferCancelAsking(const std::string& question) override {
        OfferCancel();
        stopQuestion = question;
    }
    std::string stopQuestion; // what Esc would ask before stopping; empty: it stops at once
    bool CancelRequested() const override { return requested_; }

private:
    QElapsedTimer sincePump_;
    bool requested_ = false;
};

size_t FilesIn(const std::filesystem::path& folder) {
    size_t n = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        n += entry.is_regular_file();
    return n;
}

} // namespace

void frmExportTest::everyMailIsReadUnlessAskedAndEmlHasNoMark() {
    frmExport dialog({{MailSelection::All(), "すべてのメール"}}, 0, {}, {});
    auto* seen = dialog.findChild<QComboBox*>("cmbSeen");
    QVERIFY(seen);
    QCOMPARE(dialog.Seen(), SeenMail::All);
    dialog.SetFormat(MailFormat::Eml);
    QVERIFY(!seen->isEnabled());
    dialog.SetFormat(MailFormat::Maildir);
    QVERIFY(seen->isEnabled());
    seen->setCurrentIndex(seen->findData(static_cast<int>(SeenMail::SentOnly)));
    QCOMPARE(dialog.Seen(), SeenMail::SentOnly);
}

void frmExportTest::theChosenMarkGoesIntoTheExport() {
    test::TempDir dir;
    AppFolders folders;
    folders.settingsDir = dir / "config";
    folders.dataDir = dir / "data";
    std::filesystem::create_directories(folders.settingsDir);
    std::filesystem::create_directories(folders.dataDir);
    Settings settings;
    auto db = OpenArchive(folders.DatabaseFile(), true);
    CreateTables(*db);
    MailRecord received;
    received.ymd = "2002/03/01";
    received.hms = "09:00:00";
    received.sndName = "太郎";
    received.sndAdd = "taro@example.jp";
    received.rcvName = "かも";
    received.rcvAdd = "kamo@example.jp";
    received.subject = "受信";
    received.body = "本文";
    test::InsertTestMail(*db, received);
    ArchiveSession session(folders, nullptr, std::move(db), settings);
    ScriptedPrompter prompter;
    NullWaitReporter quiet;
    for (const SeenMail seen : {SeenMail::SentOnly, SeenMail::All}) {
        const auto target = dir / (seen == SeenMail::All ? "all" : "sent");
        ExportDialogSeams().run = [&](frmExport& dialog) {
            dialog.SetFormat(MailFormat::Maildir);
            dialog.SetTarget(QString::fromStdString(target.string()));
            dialog.SetSeen(seen);
            return int(QDialog::Accepted);
        };
        QVERIFY(MemMailExport(session, prompter, quiet, nullptr, {MailSelection::All()}));
        // The received mail: unread in new/ when only sent mail is marked, read in cur/ otherwise.
        QCOMPARE(std::filesystem::is_empty(target / "new"), seen == SeenMail::All);
        QCOMPARE(std::filesystem::is_empty(target / "cur"), seen != SeenMail::All);
    }
    ExportDialogSeams().run = [](frmExport&) { return int(QDialog::Rejected); };
}

void frmExportTest::stopEndsALongExportWithinASecondAndLeavesNoPartialMbox() {
    constexpr int kMails = 3000;
    Archive archive(kMails);
    const auto out = archive.dir / "out";
    std::filesystem::create_directories(out);
    const std::string earlier = "From kamo Fri Mar  1 00:00:00 2002\nSubject: earlier\n\nkept\n";
    test::WriteFile(out / "earlier.mbox", earlier);
    struct Case {
        MailFormat format;
        const char* target;
        const char* said;
        bool asks; // a stop loses what was written: Esc asks first
    };
    const Case cases[] = {
        {MailFormat::Mbox, "new.mbox", "mbox ファイルは作っていません。", true},
        {MailFormat::Mbox, "earlier.mbox", "mbox ファイルは元のままです", true},
        {MailFormat::Maildir, "Maildir", "通は書き出してあります", false},
        {MailFormat::Eml, "eml", "通は書き出してあります", false},
    };
    for (const Case& c : cases) {
        const auto target = out / c.target;
        ScriptedPrompter prompter;
        prompter.QueueAnswer(true); // replace earlier.mbox
        WindowWait wait;
        QElapsedTimer sinceClick;
        bool offered = false;
        std::string asked;
        wait.onProgress = [&](int64_t done) {
            if (done < 64 || sinceClick.isValid())
                return;
            QPushButton* stop = wait.stop;
            offered = stop->isVisible();
            asked = wait.stopQuestion;
            // The user's click, in the middle of the export.
            sinceClick.start();
            QTest::mouseClick(stop, Qt::LeftButton);
        };
        ExportDialogSeams().run = [&](frmExport& dialog) {
            dialog.SetFormat(c.format);
            dialog.SetTarget(QString::fromStdString(target.string()));
            return int(QDialog::Accepted);
        };
        QVERIFY(!MemMailExport(*archive.session, prompter, wait, nullptr, {MailSelection::All()}));
        QVERIFY(sinceClick.isValid());
        QVERIFY2(sinceClick.elapsed() < 1000, qPrintable(QString::number(sinceClick.elapsed())));
        QVERIFY(offered);
        QVERIFY2(asked.empty() != c.asks, asked.c_str());
        if (c.asks)
            QVERIFY2(asked.rfind("書き出しを中止しますか？\n中止すると mbox ファイルは作らず", 0) == 0, asked.c_str());
        QVERIFY(!wait.stop->isVisible()); // the offer ends with the work
        const std::string& said = prompter.shown.back().text;
        QVERIFY2(said.rfind("書き出しを中止しました。", 0) == 0 && said.find(c.said) != std::string::npos,
                 said.c_str());
        if (c.format == MailFormat::Mbox) {
            // No file made, an earlier one as it was, and no temporary beside them.
            QCOMPARE(std::filesystem::exists(out / "new.mbox"), false);
            QCOMPARE(test::ReadFile(out / "earlier.mbox"), earlier);
            QCOMPARE(FilesIn(out), size_t(1));
        } else {
            // The mails written before the stop are whole files, and the message counts them.
            const size_t files = FilesIn(target);
            QVERIFY2(files >= 64 && files < size_t(kMails), qPrintable(QString::number(files)));
            QVERIFY2(said.find("中止までの " + WithSeparators(int64_t(files)) + " 通") != std::string::npos,
                     said.c_str());
            if (c.format == MailFormat::Maildir)
                QVERIFY(std::filesystem::is_empty(target / "tmp"));
        }
    }
    ExportDialogSeams().run = [](frmExport&) { return int(QDialog::Rejected); };
}

void frmExportTest::aFailureBringsTheWindowBackWithItsChoices() {
    Archive archive(3);
    const auto blocker = archive.dir / "a-file";
    test::WriteFile(blocker, "not a folder");
    const QString target = QString::fromStdString((blocker / "eml").string()); // cannot be made
    ScriptedPrompter prompter;
    NullWaitReporter quiet;
    int runs = 0;
    ExportDialogSeams().run = [&](frmExport& dialog) {
        if (++runs == 1) {
            dialog.SetChoice(0);
            dialog.SetFormat(MailFormat::Maildir);
            dialog.SetSeen(SeenMail::SentOnly);
            dialog.SetTarget(target);
            return int(QDialog::Accepted);
        }
        // Back after the failure, as the user left it.
        [&] {
            QVERIFY(dialog.findChild<QRadioButton*>("optChoice0")->isChecked());
            QCOMPARE(dialog.Format(), MailFormat::Maildir);
            QCOMPARE(dialog.Seen(), SeenMail::SentOnly);
            QCOMPARE(dialog.Target(), target);
        }();
        return int(QDialog::Rejected);
    };
    QVERIFY(!MemMailExport(*archive.session, prompter, quiet, nullptr,
                           {MailSelection::All(), MailSelection::Of(MailSelection::Kind::Date, "2002/03/01")}));
    QCOMPARE(runs, 2);
    QCOMPARE(prompter.shown.size(), size_t(1));
    QVERIFY2(prompter.shown[0].text.rfind("メールを書き出せませんでした。", 0) == 0, prompter.shown[0].text.c_str());
    ExportDialogSeams().run = [](frmExport&) { return int(QDialog::Rejected); };
}

void frmExportTest::theFormatAndFolderAreRememberedForTheNextExport() {
    Archive archive(2);
    const auto exports = archive.dir / "exports";
    std::filesystem::create_directories(exports);
    ScriptedPrompter prompter;
    NullWaitReporter quiet;
    std::optional<MailFormat> shownFormat;
    QString shownTarget;
    ExportDialogSeams().run = [&](frmExport& dialog) {
        dialog.SetFormat(MailFormat::Eml);
        dialog.SetTarget(QString::fromStdString((exports / "mine").string()));
        return int(QDialog::Accepted);
    };
    QVERIFY(MemMailExport(*archive.session, prompter, quiet, nullptr, {MailSelection::All()}));
    ExportDialogSeams().run = [&](frmExport& dialog) {
        shownFormat = dialog.Format();
        shownTarget = dialog.Target();
        return int(QDialog::Rejected);
    };
    QVERIFY(!MemMailExport(*archive.session, prompter, quiet, nullptr, {MailSelection::All()}));
    QCOMPARE(shownFormat, std::optional<MailFormat>(MailFormat::Eml));
    QCOMPARE(shownTarget, QString::fromStdString((exports / "KamoMail-eml").string()));
    // Kept in the settings, so the next start offers them too.
    QCOMPARE(archive.session->AppSettings().exportFormat, std::string("eml"));
    QCOMPARE(archive.session->AppSettings().exportFolder, exports.string());
    ExportDialogSeams().run = [](frmExport&) { return int(QDialog::Rejected); };
}

void frmExportTest::countsAreShownWithSeparators() {
    Archive archive(1234);
    ScriptedPrompter prompter;
    WindowWait wait;
    const auto target = archive.dir / "all.mbox";
    ExportDialogSeams().run = [&](frmExport& dialog) {
        dialog.SetFormat(MailFormat::Mbox);
        dialog.SetTarget(QString::fromStdString(target.string()));
        return int(QDialog::Accepted);
    };
    QVERIFY(MemMailExport(*archive.session, prompter, wait, nullptr, {MailSelection::All()}));
    QCOMPARE(QString::fromStdString(wait.countLine), QString::fromUtf8("1,234 / 1,234 件"));
    QVERIFY2(prompter.shown.back().text.rfind("1,234 通のメールを書き出しました", 0) == 0,
             prompter.shown.back().text.c_str());
    ExportDialogSeams().run = [](frmExport&) { return int(QDialog::Rejected); };
}

void frmExportTest::originalsAndFoldersAreOfferedAndCounted() {
    Archive archive(3);
    archive.KeepOriginal(0, "ピンクの引出し"); // the other two have none
    ScriptedPrompter prompter;
    NullWaitReporter quiet;
    const auto target = archive.dir / "boxes";
    bool folderAsked = false;
    const auto chooser = ExportDialogSeams().chooseTarget;
    ExportDialogSeams().chooseTarget = [&](QWidget*, MailFormat, bool folder, const QString&) {
        folderAsked = folder;
        return QString::fromStdString(target.string());
    };
    ExportDialogSeams().run = [&](frmExport& dialog) {
        dialog.SetFormat(MailFormat::Mbox);
        dialog.findChild<QCheckBox*>("chkOriginal")->setChecked(true);
        dialog.findChild<QCheckBox*>("chkFolders")->setChecked(true);
        QTest::mouseClick(dialog.findChild<QPushButton*>("cmdBrowse"), Qt::LeftButton);
        return int(QDialog::Accepted);
    };
    QVERIFY(MemMailExport(*archive.session, prompter, quiet, nullptr, {MailSelection::All()}));
    QVERIFY(folderAsked); // mbox, but one file per mailbox: a folder
    QVERIFY(std::filesystem::is_regular_file(target / "ピンクの引出し"));
    QVERIFY(std::filesystem::is_regular_file(target / kUnknownMailbox));
    QVERIFY(test::ReadFile(target / "ピンクの引出し").find("Subject: 0\r\n\r\nas sent\r\n") != std::string::npos);
    QVERIFY2(prompter.shown.back().text.find("うち 2 通は元のメールが保存されていないため") != std::string::npos,
             prompter.shown.back().text.c_str());
    ExportDialogSeams().run = [](frmExport&) { return int(QDialog::Rejected); };
    ExportDialogSeams().chooseTarget = chooser;
}

void frmExportTest::theOriginalHeaderIsShownOnRequest() {
    Archive archive(2);
    SQLite::Database& db = archive.session->Database();
    MailRecord kept;
    kept.ymd = "2002/03/01";
    kept.hms = "09:00:00";
    kept.sndName = "太郎";
    kept.sndAdd = "taro@example.jp";
    kept.rcvName = "かも";
    kept.rcvAdd = "kamo@example.jp";
    MailRecord none = kept;
    none.hms = "09:00:01";
    MailOriginal original;
    original.header = "From: \x91\xbe\x98\x59 <taro@example.jp>\r\nX-Mailer: PostPet\r\n\r\n"; // 太郎 in CP932
    OriginalWriter(db).Put(KeyOf(kept), original, "受信フォルダ", kDecodingVersion);
    ScriptedPrompter prompter;
    QString shown;
    int runs = 0;
    OriginalHeaderRun() = [&](frmOriginalHeader& dialog) {
        ++runs;
        shown = dialog.Text();
        return int(QDialog::Accepted);
    };
    MemOriginalHeader(db, prompter, nullptr, kept);
    QCOMPARE(shown, QString::fromUtf8("From: 太郎 <taro@example.jp>\nX-Mailer: PostPet"));
    const size_t messages = prompter.shown.size();
    MemOriginalHeader(db, prompter, nullptr, none);
    MemOriginalHeader(db, prompter, nullptr, std::nullopt);
    QCOMPARE(runs, 1); // told, not shown, for a mail without its original and for no mail
    QCOMPARE(prompter.shown.size(), messages + 2);
    QVERIFY(prompter.shown[messages].text.find("保存されていません") != std::string::npos);
    OriginalHeaderRun() = [](frmOriginalHeader&) { return int(QDialog::Rejected); };
}

void frmExportTest::theServersFieldsGiveTheTargetTheyTyped() {
    struct Case {
        ImapTargetFields typed;
        std::string gives;
        bool ok = true; // 書き出す enabled
        QString password = "pw";
    };
    const std::string host = "imap.example.jp";
    const auto refused = [](FailureCode code, const char* address) { return MessageOf(Failure(code, {address})); };
    const std::vector<Case> cases{
        {{host, "", "kamo", "PostPet"}, "kamo@imap.example.jp:993/PostPet imaps"},
        {{host, "", "kamo", "PostPet", ImapTls::StartTls}, "kamo@imap.example.jp:143/PostPet imap"},
        {{host, "10993", "kamo", "PostPet", ImapTls::StartTls}, "kamo@imap.example.jp:10993/PostPet imap"},
        // The port written after the server's name, as addresses often are; the port's own field wins.
        {{host + ":10993", "", "kamo", "PostPet"}, "kamo@imap.example.jp:10993/PostPet imaps"},
        {{host + ":10993", "993", "kamo", "PostPet"}, "kamo@imap.example.jp:993/PostPet imaps"},
        {{"::1", "", "kamo@example.jp", "受信箱/#1 100%?"}, "kamo@example.jp@::1:993/受信箱/#1 100%? imaps"},
        {{host, "", "kamo", ""}, "kamo@imap.example.jp:993/INBOX imaps"},
        {{host, "", "kamo", "PostPet"}, "kamo@imap.example.jp:993/PostPet imaps", false, ""},
        {{host, "", "", "PostPet"}, refused(FailureCode::ImapUserMissing, "imaps://@imap.example.jp/PostPet"), false},
        // A slash in the server's name is not the start of the folder.
        {{host + "/Other", "", "kamo", "PostPet"},
         refused(FailureCode::ImapUrlNotUnderstood, "imaps://kamo@imap.example.jp%2FOther/PostPet")},
    };
    for (const Case& c : cases) {
        frmExport dialog({{MailSelection::All(), "すべてのメール"}}, 0, {}, {});
        TypeServer(dialog, c.typed, c.password);
        QCOMPARE(QString::fromStdString(Given(dialog)), QString::fromStdString(c.gives));
        QVERIFY2(dialog.findChild<QPushButton*>("cmdOk")->isEnabled() == c.ok, c.gives.c_str());
        // The password is shown as dots; the file's row and 参照 give way to the server's.
        QVERIFY(dialog.findChild<QLineEdit*>("txtPassword")->echoMode() == QLineEdit::Password);
        QVERIFY(dialog.findChild<QLineEdit*>("txtTarget")->isHidden() &&
                dialog.findChild<QPushButton*>("cmdBrowse")->isHidden());
    }
}

void frmExportTest::anUploadPutsEachMailThereOnceAndAgainNone() {
    if (const std::string reason = test::DovecotServer::MissingReason(); !reason.empty())
        QSKIP(reason.c_str());
    SeamsKept seams;
    test::DovecotServer server; // on 127.0.0.1, with a CA of its own that the upload is told to trust
    ExportDialogSeams().imapSession.caFile = server.CaFile().string();
    Archive archive(3);
    archive.KeepOriginal(0, "受信フォルダ");
    archive.KeepOriginal(1, "ピンクの引出し"); // the third mail has no mailbox kept
    const QString password = QString::fromUtf8(test::DovecotServer::kPassword);
    ScriptedPrompter prompter;
    WindowWait wait;
    // A wrong password first: told so, and the window back as typed, the password too, to correct it.
    std::vector<std::string> typed;
    ExportDialogSeams().run = [&](frmExport& dialog) {
        typed.push_back(Given(dialog) + " " + dialog.Password().toStdString());
        // Typed at first (the folder as offered); then the server as the window shows it, the right password.
        ImapTargetFields fields = dialog.ServerFields();
        const bool fresh = fields.host.empty();
        if (fresh)
            fields = {"127.0.0.1", std::to_string(server.ImapsPort()), "tester", fields.folder};
        TypeServer(dialog, fields, fresh ? "wrong" : password);
        dialog.findChild<QCheckBox*>("chkFolders")->setChecked(true);
        return int(QDialog::Accepted);
    };
    QVERIFY(MemMailExport(*archive.session, prompter, wait, nullptr, {MailSelection::All()}));
    const std::string target = "tester@127.0.0.1:" + std::to_string(server.ImapsPort()) + "/PostPet imaps";
    QCOMPARE(typed.size(), size_t(2));
    QCOMPARE(typed[1], target + " wrong");
    QCOMPARE(prompter.shown.size(), size_t(2));
    QCOMPARE(
        QString::fromStdString(prompter.shown[0].text),
        QString::fromUtf8("IMAP サーバー 127.0.0.1 にログインできません。ユーザー名 tester かパスワードが違います。"));
    QCOMPARE(QString::fromStdString(wait.countLine), QString::fromUtf8("3 / 3 件"));
    // Each mail's folder on the server is named while it goes.
    QVERIFY(wait.notes.count("メールサーバーのフォルダ PostPet/受信フォルダ"));
    // Again from the window as it opens now, the server as it was left: nothing is appended twice.
    typed.clear();
    QVERIFY(MemMailExport(*archive.session, prompter, wait, nullptr, {MailSelection::All()}));
    QCOMPARE(typed[0], target + " ");
    QCOMPARE(prompter.shown.size(), size_t(3));

    // Each mail once in its mailbox's folder below the one offered, at its moment (09:00:0i in Japan).
    std::multiset<std::pair<std::string, long long>> stored;
    for (const auto& m : test::ProbeAccount(server))
        stored.insert({m.folder, test::MomentOfImapDate(m.date)});
    const std::multiset<std::pair<std::string, long long>> expected{
        {"PostPet/受信フォルダ", 1014940800},
        {"PostPet/ピンクの引出し", 1014940801},
        {std::string("PostPet/") + kUnknownMailbox, 1014940802}};
    QVERIFY(stored == expected);
    for (const auto& [folder, moment] : expected)
        for (const auto& [said, counts] : {std::pair{1, ": 送信 1 通、すでにあり 0 通、失敗 0 通\n"},
                                           {2, ": 送信 0 通、すでにあり 1 通、失敗 0 通\n"}})
            QVERIFY2(prompter.shown[said].text.find(folder + counts) != std::string::npos,
                     prompter.shown[said].text.c_str());
}

QTEST_MAIN(frmExportTest)
#include "frmExport_test.moc"
