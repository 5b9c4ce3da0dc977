#include "browse/frmKamoMail.h"

#include "browse/frmTrash.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QLabel>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "browse/KeyLists.h"
#include "browse/MailDeletion.h"
#include "browse/MailView.h"
#include "browse/QtDialogChoosers.h"
#include "browse/QtIdleWork.h"
#include "browse/QtMailBrowser.h"
#include "browse/QtReply.h"
#include "browse/QtStatusProgress.h"
#include "browse/frmBackupList.h"
#include "browse/frmHelp.h"
#include "browse/frmOption.h"
#include "browse/frmWait.h"
#include "common/Guarded.h"
#include "common/Messages.h"
#include "db/ArchiveSession.h"
#include "db/Backups.h"
#include "export/QtExportCommand.h"
#include "export/QtPrintCommand.h"
#include "export/frmOriginalHeader.h"
#include "filters/FilterCommands.h"
#include "filters/QtFilterCommands.h"
#include "friends/FriendCommands.h"
#include "friends/frmFriend.h"
#include "import/MailRead.h"
#include "import/MailReadCommand.h"
#include "import/PostPetFinder.h"
#include "platform/FileUtil.h"
#include "platform/Folders.h"
#include "platform/QtScreenFit.h"
#include "platform/SettingsStore.h"
#include "upkeep/ArchiveCommands.h"
#include "upkeep/TableRegistry.h"

namespace kamo {
namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
QString U(const char* s) {
    return QString::fromUtf8(s);
}

} // namespace

frmKamoMail::frmKamoMail(ArchiveSession& session, Prompter& prompter, QWidget* parent)
    : QMainWindow(parent), session_(session), settings_(session.AppSettings()), prompter_(prompter),
      lock_(*this, prompter, [this] { browser_->FinishLoading(); }) {
    setObjectName("frmKamoMail");
    setWindowTitle(U("PostPet Mail 表示"));
    BuildControls();
    BuildCommandMenus(*menuBar(), *this, lock_.Registry(), Slots());
    memYears = findChild<QAction*>("memYears");
    SetDefaultSeams();
    resize(11745 / kTwipsPerPixel, 7404 / kTwipsPerPixel);
    // Small enough for a small screen, large enough that no caption is cut.
    setMinimumSize(minimumSizeHint().expandedTo(QSize(640, 420)));
    ShowClock();
}

frmKamoMail::~frmKamoMail() = default;

void frmKamoMail::BuildControls() {
    auto* central = new QWidget(this);
    setCentralWidget(central);
    browser_ = new QtMailBrowser(session_, prompter_, lock_, *this, central);
    lblDate = new QLabel(central);
    lblDate->setObjectName("lblDate");
    lblDate->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    browser_->TopRow().addWidget(lblDate);
    readProgress_ = new QtStatusProgress(*statusBar(), lock_);
    idle_ = new QtIdleWork(
        session_, prompter_, lock_, *readProgress_, *browser_, *this, [this] { return loaded_ && !flags_.ending; },
        [this](const QString& note) { statusBar()->showMessage(note); }, this);
    connect(&idle_->Timer1(), &QTimer::timeout, this, &frmKamoMail::ShowClock);

    QHBoxLayout* buttons = BuildCommandButtons(*central, lock_.Registry(), Slots());
    comMailRead = central->findChild<QPushButton*>("comMailRead");
    cmdAddrDel = central->findChild<QPushButton*>("cmdAddrDel");
    // One width for every view mode's caption, so the buttons beside it never move.
    int widest = 0;
    for (int16_t type = 0; type < 4; ++type)
        widest =
            std::max(widest, cmdAddrDel->fontMetrics().horizontalAdvance(U(TextsOf(ViewModeOf(type)).deleteCaption)));
    cmdAddrDel->setFixedWidth(widest + 24);

    auto* layout = new QVBoxLayout(central);
    layout->addWidget(browser_, 1);
    layout->addLayout(buttons);
    // Tab walks the window as it reads, the commands along the bottom last.
    QList<QWidget*> chain = browser_->TabChain();
    for (int i = 0; i < buttons->count(); ++i)
        if (QWidget* button = buttons->itemAt(i)->widget())
            chain << button;
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

CommandSlots frmKamoMail::Slots() {
    auto close = [this] { this->close(); };
    auto next = [this] {
        browser_->AdvanceViewMode();
        browser_->FocusKeyList();
    };
    auto reply = [this] { ReplyToMail(browser_->CurrentMail(), prompter_, urlOpener_); };
    auto read = [this] { ComMailRead(session_, prompter_, *readProgress_, *this); };
    auto renameBy = [this](FriendName which) {
        return [this, which] { RenameCommand(session_, prompter_, lock_, *this, which); };
    };
    CommandSlots handlers = {
        {"comMailRead", read},
        {"memMailRead", read},
        {"comMailDel", [this] { OnComMailDel(); }},
        {"cmdAddrDel", [this] { OnCmdAddrDel(); }},
        {"comSendMail", reply},
        {"memReply", reply},
        {"comEnd", close},
        {"memEnd", close},
        {"memMailDel", [this] { OnMemMailDel(); }},
        {"memUndo", [this] { OnMemUndo(); }},
        {"memTrash",
         [this] {
             frmTrash trash(session_, prompter_, lock_, *this, this);
             TrashRun()(trash);
         }},
        {"memCopy", [this] { browser_->CopyChosenText(); }},
        {"memSelectAll", [this] { browser_->SelectMailText(); }},
        {"memSearch", [this] { browser_->FocusSearch(); }},
        {"memConversation", [this] { browser_->OpenConversation(); }},
        {"memOriginalHeader",
         [this] { MemOriginalHeader(session_.Database(), prompter_, this, browser_->CurrentMail()); }},
        {"memNameOrAddr", next},
        {"memYears", [this] { browser_->ShowYearsPicture(memYears->isChecked()); }},
        {"memExport", [this] { OnMemExport(); }},
        {"memInport", [this] { OnMemInport(); }},
        {"memMailExport", [this] { WithMailsOnOffer(MemMailExport, false); }},
        {"memPrint", [this] { WithMailsOnOffer(MemPrint, true); }},
        {"memPdfExport", [this] { WithMailsOnOffer(MemPdfExport, true); }},
        {"memDBEdit", [this] { RecreateCommand(session_, prompter_, lock_, *this); }},
        {"memBackUp_Make",
         [this] {
             if (auto path = BackupCommand(session_, prompter_, lock_))
                 prompter_.Message("今日のバックアップを作成しました。\n" + path->string(), "バックアップ");
         }},
        {"memBackUp_FileEdit",
         [this] {
             frmBackupList list(frmBackupList::Mode::Organize, session_.Folders().dataDir, prompter_, this);
             backupListRunner_(list);
         }},
        {"memBackUp_FileSelect", [this] { OnMemBackUpFileSelect(); }},
        {"memNomalDisp", [this] { OnMemNomalDisp(); }},
        {"memFriendEd", [this] { OnMemFriendEd(); }},
        {"memAddressAdd", [this] { OnMemAddressAdd(); }},
        {"memFriend_F", [this] { OnMemFriendF(); }},
        {"memFriend_A", renameBy(FriendName::Owner)},
        {"memFriend_P", renameBy(FriendName::Pet)},
        {"memFriend_M", [this] { RestoreNamesCommand(session_, prompter_, lock_, *this); }},
        {"memFilter",
         [this] {
             MemFilter(session_, prompter_, lock_, *this, this);
             comMailRead->setFocus();
         }},
        {"memFilterGo",
         [this] {
             if (MemFilterGo(session_, prompter_, lock_, *this))
                 prompter_.Message("フィルターを実行しました。\n" + FilterCountsText(session_), "フィルター実行");
         }},
        {"memOption", [this] { RunOptionDialog(); }},
        {"memHelp_Top", [this] { frmHelp::Show(this, Q(session_.Folders().helpPath.string()), prompter_); }},
        {"memVar", [this] { frmHelp::ShowVersion(session_.Folders(), prompter_); }},
    };
    // Every handler under the error trap: a failure is told, the window stays usable.
    for (auto& [name, handler] : handlers)
        handler = [this, work = std::move(handler)] { Guarded(work); };
    return handlers;
}

void frmKamoMail::SetDefaultSeams() {
    urlOpener_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    backupListRunner_ = [](frmBackupList& dialog) { return dialog.exec(); };
    optionRunner_ = [](frmOption& dialog) { return dialog.exec(); };
    friendBookRunner_ = [](frmFriend& dialog) { return dialog.exec(); };
    searchRoots_ = [] {
        const char* home = std::getenv("HOME");
        const char* prefix = std::getenv("WINEPREFIX");
        return PostPetSearchRoots(home ? home : "", prefix ? prefix : "", {"/media", "/mnt"});
    };
    postPetChooser_ = PostPetFolderDialog(this);
    folderChooser_ = FolderDialog(this, [this] { return Q(session_.Folders().dataDir.string()); });
    friendFileChooser_ = FriendFileDialog(this);
}

void frmKamoMail::Guarded(const std::function<void()>& work) {
    kamo::Guarded(prompter_, work);
}

void frmKamoMail::ShowClock() {
    lblDate->setText(QDateTime::currentDateTime().toString("yyyy/MM/dd  hh:mm:ss"));
}

// ---- The browser's ----

void frmKamoMail::AdvanceViewMode() {
    browser_->AdvanceViewMode();
}
void frmKamoMail::FocusKeyList() {
    browser_->FocusKeyList();
}
void frmKamoMail::ChooseKey(int row) {
    browser_->ChooseKey(row);
}
void frmKamoMail::ChooseSubject(int row) {
    browser_->ChooseSubject(row);
}
void frmKamoMail::ShowSubjectRows(const std::function<std::unique_ptr<SubjectRowSource>()>& makeRows) {
    browser_->ShowSubjectRows(makeRows);
}
void frmKamoMail::ShowMonthInDateView(const QString& month) {
    browser_->ShowMonthInDateView(month);
}
std::optional<MailRecord> frmKamoMail::CurrentMail() const {
    return browser_->CurrentMail();
}
void frmKamoMail::ApplyMailFont() {
    browser_->ApplyMailFont(settings_.mailFontName, settings_.mailFontSize, settings_.mailFontStyle);
}

void frmKamoMail::ShowNewMail() {
    Guarded([this] { browser_->ShowNewMail(); });
}

void frmKamoMail::ShowViewMode() {
    Guarded([this] {
        const ViewModeTexts& texts = TextsOf(ViewModeOf(settings_.displayType));
        cmdAddrDel->setToolTip(U(texts.deleteToolTip));
        cmdAddrDel->setText(U(texts.deleteCaption));
        browser_->ShowViewMode();
    });
}

void frmKamoMail::LetGoOfArchive() {
    browser_->Clear();
}

// ---- Load and unload ----

bool frmKamoMail::OfferFoundPostPet() {
    std::filesystem::path home;
    if (searchHome_)
        home = *searchHome_;
    else if (const char* env = std::getenv("HOME"))
        home = env;
    const std::vector<FoundPostPet> found = FindPostPetFolders(searchRoots_(), {home});
    if (found.empty())
        return false;
    const std::optional<size_t> chosen = postPetChooser_(found);
    if (!chosen || *chosen >= found.size())
        return false;
    settings_.postPetDir = found[*chosen].dir.string();
    TickMailboxesWithMail(found[*chosen], settings_.sendReadOptions, settings_.recievReadOptions);
    WriteSettings(settings_, CurrentGeometry(), prompter_);
    return true;
}

FormGeometry frmKamoMail::CurrentGeometry() const {
    // Values whose pixels did not change go back as the twips that were read.
    PixelGeometry now{x(), y(), width(), height()};
    return FromPixels(now, readGeometry_, isMinimized());
}

bool frmKamoMail::Load() {
    FormGeometry geometry;
    ScreenTwips screen;
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        screen.width = s->geometry().width() * kTwipsPerPixel;
        screen.height = s->geometry().height() * kTwipsPerPixel;
    }
    if (!ReadSettings(settings_, geometry, screen, prompter_))
        return false;
    readGeometry_ = geometry;
    PlaceOnScreen(*this, ToPixels(geometry));

    const bool blank = Q(settings_.postPetDir).trimmed().isEmpty();
    std::error_code ec;
    // The first-run folder is a Windows path that on Linux lands in a Wine prefix that is seldom
    // there: look where PostPet folders are kept before asking.
    const bool missing = !blank && !std::filesystem::is_directory(ResolvePostPetDir(settings_.postPetDir), ec);
    if (blank || (missing && !OfferFoundPostPet())) {
        prompter_.Message("あなたのＰＣの環境を設定してください。");
        RunOptionDialog();
        ApplyMailFont();
        QCoreApplication::processEvents();
    }

    browser_->Clear();
    browser_->RestoreLayout(settings_);
    memYears->setChecked(browser_->YearsPictureShown());
    ApplyMailFont();
    flags_ = BusyFlags{};
    ApplyBackupView();
    loaded_ = true;
    ShowViewMode();
    // The filter subsystem's start-up routine: loads the filter tables.
    if (const auto failure = FilterStartUp(session_))
        prompter_.Error(MessageOf(*failure));
    // What a command stopped between its commit and its refresh left owed (look-ups, filter
    // results) is made now, and the lists shown again from it.
    else if (!OwedRebuilds(session_.Database()).empty()) {
        {
            WaitScope busy(lock_);
            RefreshOwedDerivedData(session_.Database(), session_.Filters(), lock_);
        }
        ShowViewMode();
    }
    // A first start beside PostPet's folder offers its friend file, once, when the window shows: a
    // question asked during the load would sit under the splash.
    offerFriendFile_ = true;
    idle_->ArmAutoRead();
    // The keyboard starts in the key list, with no key chosen yet.
    browser_->FocusKeyList();
    return true;
}

void frmKamoMail::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!std::exchange(offerFriendFile_, false))
        return;
    // After the show returns: the start closes the splash right after showing the window.
    QTimer::singleShot(0, this, [this] { Guarded([this] { OfferFriendFileBeside(session_, prompter_, lock_); }); });
}

void frmKamoMail::closeEvent(QCloseEvent* event) {
    // A command running with the event loop pumped must finish before the window goes.
    if (lock_.Locked()) {
        event->ignore();
        return;
    }
    DeleteTempFiles(session_.Folders().dataDir);
    if (flags_.ending) {
        event->accept();
        return;
    }
    flags_.ending = 1;
    idle_->Stop();
    if (loaded_) {
        browser_->SaveLayout(settings_);
        WriteSettings(settings_, CurrentGeometry(), prompter_);
    }
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible())
            w->close();
    event->accept();
}

// ---- Commands ----

bool frmKamoMail::RunOptionDialog() {
    frmOption dialog(settings_, prompter_, this);
    HookReadOptions(dialog, settings_, prompter_);
    if (optionRunner_(dialog) != QDialog::Accepted)
        return false;
    ApplyMailFont();
    idle_->ArmAutoRead();
    if (!WriteSettings(settings_, CurrentGeometry(), prompter_)) {
        // The settings file cannot be written: the program ends, as at any settings failure.
        flags_.ending = 1;
        close();
        QCoreApplication::exit(1);
        return false;
    }
    return true;
}

void frmKamoMail::OnComMailDel() {
    const std::optional<MailRecord> mail = browser_->CurrentMail();
    if (!mail) {
        prompter_.Message("削除するメールを選択して下さい。");
        return;
    }
    DeletionTarget target;
    target.kind = DeletionTarget::Kind::Mail;
    target.mail = KeyOf(*mail);
    target.subject = mail->subject;
    const QtMailBrowser::Place place = browser_->CurrentPlace();
    // A mail deleted from a search result: the result stays, with the mail after it chosen.
    const QString query = browser_->ActiveQuery();
    const QPointer<QWidget> focus = QApplication::focusWidget();
    if (RunDeletion(session_, prompter_, lock_, *this, target) == 0)
        return;
    deletedFrom_ = place;
    if (query.isEmpty())
        browser_->RestorePlace(place);
    else
        browser_->SearchAgain(query, place);
    KeepFocus(focus);
}

void frmKamoMail::KeepFocus(QWidget* focus) {
    // After a deletion the keyboard stays in the list it was in, on the line that took the place.
    if (focus && focus->isVisible() && focus->isEnabled() && QApplication::focusWidget() != focus)
        focus->setFocus(Qt::MouseFocusReason);
}

void frmKamoMail::OnMemMailDel() {
    // Delete in the key list deletes the key's mail, elsewhere the mail on display; both ask first.
    if (browser_->KeyListHasFocus())
        OnCmdAddrDel();
    else
        OnComMailDel();
}

void frmKamoMail::OnCmdAddrDel() {
    const KeyItem* item = browser_->CurrentKey();
    if (!item) {
        prompter_.Message("削除する項目を左の一覧から選択して下さい。");
        return;
    }
    const DeletionTarget target = KeyTarget(ViewModeOf(settings_.displayType), item->text, item->filterNo);
    QtMailBrowser::Place place = browser_->CurrentPlace();
    place.subjectRow = 0;
    const QPointer<QWidget> focus = QApplication::focusWidget();
    if (RunDeletion(session_, prompter_, lock_, *this, target) == 0)
        return;
    deletedFrom_ = place;
    browser_->RestorePlace(place);
    KeepFocus(focus);
}

void frmKamoMail::OnMemUndo() {
    // The restored mail is chosen where the deletion left the lists: its key and its line.
    const QtMailBrowser::Place place = deletedFrom_.value_or(browser_->CurrentPlace());
    if (!RunUndo(session_, prompter_, lock_, *this).empty())
        browser_->RestorePlace(place);
}

void frmKamoMail::OnMemExport() {
    const auto folder = folderChooser_(U("書き出すフォルダを選んで下さい"));
    if (folder && !folder->isEmpty())
        ExportCsvCommand(session_, prompter_, lock_, folder->toStdString());
}

void frmKamoMail::WithMailsOnOffer(MailsCommand command, bool shownMail) {
    // On offer: every mail, the chosen key's and the search result's; the narrowest is ticked.
    std::vector<MailSelection> offer{MailSelection::All()};
    if (const KeyItem* key = browser_->CurrentKey())
        offer.push_back(SelectionOf(ViewModeOf(settings_.displayType), *key));
    if (const QString query = browser_->ActiveQuery(); !query.isEmpty())
        offer.push_back(MailSelection::Of(MailSelection::Kind::Search, query.toStdString()));
    if (const std::optional<MailRecord> mail = browser_->CurrentMail(); shownMail && mail)
        offer.push_back(MailSelection::OneMail(*mail));
    command(session_, prompter_, lock_, this, offer);
}

void frmKamoMail::OnMemInport() {
    const auto folder = folderChooser_(U("取り込むフォルダ（書き出したテキストファイルのあるフォルダ）を選んで下さい"));
    if (folder && !folder->isEmpty())
        ImportCsvCommand(session_, prompter_, lock_, *this, folder->toStdString());
}

// ---- Backups ----

void frmKamoMail::OnMemBackUpFileSelect() {
    std::optional<std::filesystem::path> chosen;
    {
        frmBackupList list(frmBackupList::Mode::Select, session_.Folders().dataDir, prompter_, this);
        if (backupListRunner_(list) != QDialog::Accepted)
            return;
        chosen = list.Chosen();
    }
    if (chosen)
        ShowBackup(*chosen);
}

void frmKamoMail::ShowBackup(const std::filesystem::path& backup) {
    auto db = OpenBackupReadOnly(backup); // throws before anything changes
    LetGoOfArchive();
    session_.ShowBackup(std::move(db), backup);
    ApplyBackupView();
    ShowViewMode();
}

void frmKamoMail::OnMemNomalDisp() {
    LetGoOfArchive();
    session_.ShowArchive();
    ApplyBackupView();
    ShowViewMode();
}

void frmKamoMail::ApplyBackupView() {
    const bool viewing = session_.ViewingBackup();
    lock_.ApplyBackupView(viewing);
    setWindowTitle(viewing ? U("PostPet Mail 表示 － バックアップ ") + Q(session_.BackupShown().filename().string()) +
                                 U("（読み取り専用）")
                           : U("PostPet Mail 表示"));
}

// ---- Friend book ----

void frmKamoMail::OnMemFriendEd() {
    // The friend's mail is shown once the book is closed, so the lists refill under no dialog.
    QString wanted;
    {
        frmFriend editor(session_.Database(), settings_, prompter_, this);
        connect(&editor, &frmFriend::ShowMailOf, this, [&wanted](const QString& address) { wanted = address; });
        friendBookRunner_(editor);
    }
    if (!wanted.isEmpty() && !browser_->ShowAddressMail(wanted.toStdString()))
        prompter_.Message(wanted.toStdString() + " のメールはありません。", "おともだち帳");
}

void frmKamoMail::OnMemFriendF() {
    const std::string remembered = ReadFriendFilePath(settings_.settingsPath);
    const QString start = Q(remembered.empty() ? ResolvePostPetDir(settings_.postPetDir).string() : remembered);
    const std::optional<QString> chosen = friendFileChooser_(start);
    if (!chosen || chosen->isEmpty())
        return;
    WriteFriendFilePath(settings_.settingsPath, chosen->toStdString());
    ReadFriendsCommand(session_, prompter_, lock_, chosen->toStdString());
}

void frmKamoMail::OnMemAddressAdd() {
    std::string address, name;
    const std::optional<MailRecord> mail = browser_->CurrentMail();
    const KeyItem* key = browser_->CurrentKey();
    if (ViewModeOf(settings_.displayType) == ViewMode::Address && key && !mail) {
        address = key->text;
    } else if (mail) {
        address = ReplyAddress(*mail);
        name = mail->sent ? mail->rcvName : mail->sndName;
    }
    if (address.empty()) {
        prompter_.Message("おともだち帳に追加するメールかアドレスを選択して下さい。");
        return;
    }
    if (AddFriendAddress(session_.Database(), address, name))
        prompter_.Message(address + " をおともだち帳に追加しました。", "おともだち帳");
    else
        prompter_.Message(address + " はもうおともだち帳にあります。", "おともだち帳");
}

} // namespace kamo
