#include "browse/frmKamoMail.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QSyntaxHighlighter>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include <sqlite3.h>

#include "browse/KeyLists.h"
#include "browse/MailDeletion.h"
#include "browse/MailView.h"
#include "browse/MonthCounts.h"
#include "browse/QtAttachmentList.h"
#include "browse/QtConversationLine.h"
#include "browse/QtListModels.h"
#include "browse/QtMailPictures.h"
#include "browse/QtMailboxWatch.h"
#include "browse/QtMonthChart.h"
#include "browse/QtSearchBar.h"
#include "browse/SubjectCursor.h"
#include "browse/SubjectLines.h"
#include "browse/frmBackupList.h"
#include "browse/frmHelp.h"
#include "browse/frmOption.h"
#include "browse/frmWait.h"
#include "common/Version.h"
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
#include "platform/ProfileFile.h"
#include "platform/QtScreenFit.h"
#include "platform/SettingsStore.h"
#include "upkeep/ArchiveCommands.h"

namespace kamo {
namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
QString U(const char* s) {
    return QString::fromUtf8(s);
}

// Quoted lines of a reply (">" or the full-width "＞") in a quieter colour.
class QuoteHighlighter : public QSyntaxHighlighter {
public:
    using QSyntaxHighlighter::QSyntaxHighlighter;

protected:
    void highlightBlock(const QString& text) override {
        QString trimmed = text.trimmed();
        if (trimmed.startsWith('>') || trimmed.startsWith(QChar(0xFF1E))) {
            QTextCharFormat format;
            format.setForeground(QColor(0x1F, 0x5F, 0x9F));
            setFormat(0, static_cast<int>(text.size()), format);
        }
    }
};

} // namespace

frmKamoMail::frmKamoMail(ArchiveSession& session, Prompter& prompter, QWidget* parent)
    : QMainWindow(parent), session_(session), settings_(session.AppSettings()), prompter_(prompter) {
    setObjectName("frmKamoMail");
    setWindowTitle(U("PostPet Mail 表示"));
    BuildControls();
    BuildMenus();
    urlOpener_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    backupListRunner_ = [](frmBackupList& dialog) { return dialog.exec(); };
    friendEditorRunner_ = [](frmFriend& dialog) { return dialog.exec(); };
    searchRoots_ = [] {
        const char* home = std::getenv("HOME");
        const char* prefix = std::getenv("WINEPREFIX");
        return PostPetSearchRoots(home ? home : "", prefix ? prefix : "", {"/media", "/mnt"});
    };
    postPetChooser_ = [this](const std::vector<FoundPostPet>& found) -> std::optional<size_t> {
        QStringList items;
        for (const auto& f : found)
            items << Q(f.dir.string()) + U("（") +
                         QLocale(QLocale::Japanese).toString(static_cast<qlonglong>(f.mails)) + U(" 通）");
        bool ok = false;
        const QString item = QInputDialog::getItem(
            this, U("PostPet のフォルダ"), U("PostPet のフォルダが見つかりました。読み込むフォルダを選んで下さい。"),
            items, 0, false, &ok);
        if (!ok)
            return std::nullopt;
        return static_cast<size_t>(items.indexOf(item));
    };
    folderChooser_ = [this](const QString& caption) -> std::optional<QString> {
        const QString folder = QFileDialog::getExistingDirectory(
            this, caption, QString::fromStdString(session_.Folders().dataDir.string()));
        return folder.isEmpty() ? std::nullopt : std::optional<QString>(folder);
    };
    friendFileChooser_ = [this](const QString& start) -> std::optional<QString> {
        const QString file =
            QFileDialog::getOpenFileName(this, U("おともだちファイルを選んで下さい"), start,
                                         U("PostPet おともだちファイル (*.dat);;すべてのファイル (*)"));
        return file.isEmpty() ? std::nullopt : std::optional<QString>(file);
    };
    optionRunner_ = [](frmOption& dialog) { return dialog.exec(); };
    resize(11745 / kTwipsPerPixel, 7404 / kTwipsPerPixel);
    // Small enough for a small screen, large enough that no caption is cut.
    setMinimumSize(minimumSizeHint().expandedTo(QSize(640, 420)));
    OnTimer1();
}

void frmKamoMail::BuildControls() {
    auto* central = new QWidget(this);
    setCentralWidget(central);

    lblNameOrAddr = new QLabel(central);
    lblNameOrAddr->setObjectName("lblNameOrAddr");
    lblNameOrAddr->setFrameStyle(QFrame::Panel | QFrame::Raised);
    lblNameOrAddr->setAlignment(Qt::AlignCenter);
    lblNameOrAddr->setMinimumWidth(180);
    lblNameOrAddr->setCursor(Qt::PointingHandCursor);
    lblNameOrAddr->setToolTip(U("クリックすると表示を切り替えます（F5、Tab で選んで Space でも）"));
    lblNameOrAddr->setFocusPolicy(Qt::StrongFocus); // reachable with Tab
    lblNameOrAddr->installEventFilter(this);

    lblRecCount = new QLabel(central);
    lblRecCount->setObjectName("lblRecCount");
    lblDate = new QLabel(central);
    lblDate->setObjectName("lblDate");
    lblDate->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &frmKamoMail::OnTimer1);
    Timer1->start();

    QFont listFont = MailTextFont("ＭＳ ゴシック", 10, "0,0");

    keyModel_ = new KeyListModel(this);
    lstNameOrAddr = new QListView(central);
    lstNameOrAddr->setObjectName("lstNameOrAddr");
    lstNameOrAddr->setModel(keyModel_);
    lstNameOrAddr->setUniformItemSizes(true);
    lstNameOrAddr->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstNameOrAddr->setSelectionMode(QAbstractItemView::SingleSelection);
    lstNameOrAddr->setFont(listFont);
    connect(lstNameOrAddr->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &frmKamoMail::OnLstNameOrAddrCurrentChanged);

    subjectModel_ = new SubjectListModel(this);
    lstSubject = new QListView(central);
    lstSubject->setObjectName("lstSubject");
    lstSubject->setModel(subjectModel_);
    lstSubject->setUniformItemSizes(true);
    lstSubject->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstSubject->setSelectionMode(QAbstractItemView::SingleSelection);
    lstSubject->setFont(listFont);
    connect(lstSubject->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &frmKamoMail::OnLstSubjectCurrentChanged);
    connect(subjectModel_, &SubjectListModel::CountChanged, this,
            [this](qsizetype count, bool) { lblRecCount->setText(Q(RecCountText(static_cast<size_t>(count)))); });
    connect(subjectModel_, &SubjectListModel::LoadFailed, this,
            [this](const QString& message) { prompter_.Error("エラーが発生しました。\n" + message.toStdString()); });

    lblHead = new QLabel(central);
    lblHead->setObjectName("lblHead");
    lblHead->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lblHead->setTextFormat(Qt::PlainText);
    // The header can be selected and copied like the body, with the mouse or the keyboard.
    lblHead->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    lblHead->setContextMenuPolicy(Qt::DefaultContextMenu);
    lblHead->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblHead->setFont(listFont);
    lblHead->setMinimumHeight(QFontMetrics(listFont).lineSpacing() * 4 + 8);

    txtMail = new QPlainTextEdit(central);
    txtMail->setObjectName("txtMail");
    txtMail->setReadOnly(true);
    // Read-only text takes no keys of its own: with a keyboard cursor, Ctrl+End and Ctrl+Home, the
    // arrows and Shift-selection work in the mail as in any reader, and the cursor's line is shown whole.
    txtMail->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    txtMail->setAttribute(Qt::WA_InputMethodEnabled, true);
    txtMail->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    new QuoteHighlighter(txtMail->document());

    auto makeButton = [&](QPushButton*& button, const char* name, const char* caption, const char* tip) {
        button = new QPushButton(U(caption), central);
        button->setObjectName(name);
        button->setToolTip(U(tip));
    };
    makeButton(comMailRead, "comMailRead", "PostPet Mail Read", "PostPetからメールを読み込みます");
    makeButton(comMailDel, "comMailDel", "メール　削除", "選択されているメールを削除します");
    makeButton(cmdAddrDel, "cmdAddrDel", "アドレス　削除", "選択されているアドレスを削除します");
    // One width for every view mode's caption, so the buttons beside it never move.
    int widest = 0;
    for (int16_t type = 0; type < 4; ++type)
        widest =
            std::max(widest, cmdAddrDel->fontMetrics().horizontalAdvance(U(TextsOf(ViewModeOf(type)).deleteCaption)));
    cmdAddrDel->setFixedWidth(widest + 24);
    makeButton(comSendMail, "comSendMail", "返　信", "選択されているメールに返信します");
    makeButton(comEnd, "comEnd", "終　了", "KamoMailを終了します");
    connect(comMailRead, &QPushButton::clicked, this, &frmKamoMail::OnComMailRead);
    connect(comMailDel, &QPushButton::clicked, this, &frmKamoMail::OnComMailDel);
    connect(cmdAddrDel, &QPushButton::clicked, this, &frmKamoMail::OnCmdAddrDel);
    connect(comSendMail, &QPushButton::clicked, this, &frmKamoMail::OnComSendMail);
    connect(comEnd, &QPushButton::clicked, this, &frmKamoMail::OnComEnd);

    // Layout: mode label and counts on top, keys left, subjects over the mail right, commands below.
    auto* top = new QHBoxLayout;
    top->addWidget(lblNameOrAddr);
    top->addSpacing(12);
    top->addWidget(lblRecCount);
    top->addStretch(1);
    top->addWidget(lblDate);

    auto* mailPane = new QWidget(central);
    auto* mailLayout = new QVBoxLayout(mailPane);
    mailLayout->setContentsMargins(0, 0, 0, 0);
    mailLayout->addWidget(lblHead);
    conversation_ = new QtConversationLine(mailPane);
    mailLayout->addWidget(conversation_);
    attachmentList_ = new QtAttachmentList(prompter_, mailPane);
    // The mail's pictures under its text (a click opens one as the attachment list does).
    pictures_ = new QtMailPictures(mailPane);
    pictures_->SetOpener([this](int64_t position) { return attachmentList_->OpenAttachment(position); });
    auto* textAndPictures = new QSplitter(Qt::Vertical, mailPane);
    textAndPictures->setObjectName("splMailPictures");
    textAndPictures->addWidget(txtMail);
    textAndPictures->addWidget(pictures_);
    textAndPictures->setChildrenCollapsible(false);
    textAndPictures->setStretchFactor(0, 1);
    textAndPictures->setStretchFactor(1, 1);
    mailLayout->addWidget(textAndPictures, 1);
    mailLayout->addWidget(attachmentList_);

    // The search field sits on top of the list it fills.
    searchBar_ = new QtSearchBar(
        session_, wait_, *this, [this](const auto& makeRows) { ShowSubjectRows(makeRows); }, central);
    auto* subjectPane = new QWidget(central);
    auto* subjectLayout = new QVBoxLayout(subjectPane);
    subjectLayout->setContentsMargins(0, 0, 0, 0);
    subjectLayout->addWidget(searchBar_);
    // The heading of the subject columns, in the lines' own font and columns; a click turns the
    // order round (oldest or newest first).
    cmdSubjectOrder = new QPushButton(central);
    cmdSubjectOrder->setObjectName("cmdSubjectOrder");
    cmdSubjectOrder->setFlat(true);
    cmdSubjectOrder->setFont(listFont);
    cmdSubjectOrder->setStyleSheet("text-align: left; padding-left: 4px;");
    cmdSubjectOrder->setFocusPolicy(Qt::NoFocus);
    connect(cmdSubjectOrder, &QPushButton::clicked, this, [this] {
        chosenNewestFirst_ = !subjectsNewestFirst_;
        const int chosen = lstSubject->currentIndex().row();
        subjectModel_->Reverse();
        subjectsNewestFirst_ = *chosenNewestFirst_;
        ShowSubjectOrder();
        if (chosen >= 0) // the same mail stays chosen, at its new place
            ChooseSubject(subjectModel_->rowCount() - 1 - chosen);
    });
    ShowSubjectOrder();
    subjectLayout->addWidget(cmdSubjectOrder);
    subjectLayout->addWidget(lstSubject, 1);

    auto* right = new QSplitter(Qt::Vertical, central);
    right->setObjectName("splRight");
    right->addWidget(subjectPane);
    right->addWidget(mailPane);
    right->setStretchFactor(0, 1);
    right->setStretchFactor(1, 1);
    right->setSizes({240, 260});
    right->setChildrenCollapsible(false);

    // The date view lists every day: a year-and-month chooser above it jumps to a month.
    cmbYearMonth = new QComboBox(central);
    cmbYearMonth->setObjectName("cmbYearMonth");
    cmbYearMonth->setToolTip(U("選んだ年月の日付へ移ります"));
    cmbYearMonth->hide();
    connect(cmbYearMonth, &QComboBox::activated, this, &frmKamoMail::ChooseYearMonth);
    auto* keyPane = new QWidget(central);
    auto* keyLayout = new QVBoxLayout(keyPane);
    keyLayout->setContentsMargins(0, 0, 0, 0);
    keyLayout->addWidget(cmbYearMonth);
    keyLayout->addWidget(lstNameOrAddr, 1);

    auto* split = new QSplitter(Qt::Horizontal, central);
    split->setObjectName("splMain");
    split->addWidget(keyPane);
    split->addWidget(right);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 3);
    split->setSizes({210, 570}); // room for a whole mail address at the design size
    split->setChildrenCollapsible(false);

    auto* bottom = new QHBoxLayout;
    for (QPushButton* b : {comMailRead, comMailDel, cmdAddrDel, comSendMail})
        bottom->addWidget(b);
    bottom->addStretch(1);
    bottom->addWidget(comEnd);

    // The years at a glance, across the window under the lists; shown from the view menu.
    picYears = new QtMonthChart(central);
    picYears->setToolTip(U("月ごとのメールの数です。棒を押すと、その月を日付表示で開きます"));
    picYears->setMinimumHeight(120);
    picYears->hide();
    connect(picYears, &QtMonthChart::MonthChosen, this, &frmKamoMail::ShowMonthInDateView);

    auto* layout = new QVBoxLayout(central);
    layout->addLayout(top);
    layout->addWidget(split, 1);
    layout->addWidget(picYears);
    layout->addLayout(bottom);

    // Tab walks the window as it reads: mode, keys, search, mail lines, the mail and its attachments,
    // then the commands along the bottom.
    txtMail->setTabChangesFocus(true);
    QList<QWidget*> chain{lblNameOrAddr, cmbYearMonth, lstNameOrAddr};
    if (auto* field = searchBar_->findChild<QWidget*>("txtSearch"))
        chain << field;
    chain << lstSubject << txtMail;
    for (QWidget* w : attachmentList_->findChildren<QWidget*>())
        if (w->focusPolicy() & Qt::TabFocus)
            chain << w;
    chain << comMailRead << comMailDel << cmdAddrDel << comSendMail << comEnd;
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);

    for (QObject* control : std::initializer_list<QObject*>{lblNameOrAddr, cmbYearMonth, lstNameOrAddr, lstSubject,
                                                            attachmentList_, picYears, pictures_})
        commands_.AddLockable(control);
    commands_.AddCommand(cmdSubjectOrder);
    for (QObject* command : std::initializer_list<QObject*>{comMailRead, comMailDel, cmdAddrDel, comSendMail, comEnd})
        commands_.AddCommand(command);
    commands_.AddLockable(searchBar_);
}

QMenu* frmKamoMail::AddMenu(QMenu* parentMenu, const char* name, const char* caption) {
    QMenu* menu = parentMenu ? parentMenu->addMenu(U(caption)) : menuBar()->addMenu(U(caption));
    menu->setObjectName(QString(name) + "Menu");
    menu->setToolTipsVisible(true);
    if (name[0] != '\0') {
        menu->menuAction()->setObjectName(name);
        commands_.AddLockable(menu->menuAction());
    }
    return menu;
}

QAction* frmKamoMail::AddAction(QMenu* menu, const char* name, const char* caption, void (frmKamoMail::*slot)()) {
    QAction* action = menu->addAction(U(caption));
    action->setObjectName(name);
    action->setParent(this);
    connect(action, &QAction::triggered, this, slot);
    commands_.AddCommand(action);
    return action;
}

void frmKamoMail::BuildMenus() {
    QMenu* file = AddMenu(nullptr, "memFile", "ファイル(&F)");
    QMenu* db = AddMenu(file, "memDBSupport", "データベース管理(&D)");
    AddAction(db, "memExport", "エクスポート（全データを CSV に）(&E)...", &frmKamoMail::OnMemExport)
        ->setToolTip(U("KamoMail のデータすべてを表ごとの CSV ファイルに書き出します（インポートで戻せます）"));
    AddAction(db, "memInport", "インポート（CSV から）(&I)...", &frmKamoMail::OnMemInport)
        ->setToolTip(U("エクスポートした CSV ファイルを取り込みます"));
    db->addSeparator();
    AddAction(db, "memDBEdit", "データベースの再作成(&R)...", &frmKamoMail::OnMemDBEdit);
    QMenu* backup = AddMenu(file, "memBackUp", "バックアップ(&B)");
    AddAction(backup, "memBackUp_Make", "今日のバックアップを作成(&M)", &frmKamoMail::OnMemBackUpMake);
    backup->addSeparator();
    AddAction(backup, "memBackUp_FileEdit", "バックアップファイルの整理(&O)...", &frmKamoMail::OnMemBackUpFileEdit);
    AddAction(backup, "memBackUp_FileSelect", "バックアップを表示(&S)...", &frmKamoMail::OnMemBackUpFileSelect);
    AddAction(backup, "memNomalDisp", "通常の表示に戻す(&N)", &frmKamoMail::OnMemNomalDisp);
    AddAction(file, "memMailExport", "メールを書き出す(&M)...", &frmKamoMail::OnMemMailExport);
    AddAction(file, "memPrint", "印刷(&P)...", &frmKamoMail::OnMemPrint)->setShortcut(QKeySequence::Print);
    AddAction(file, "memPdfExport", "PDF に書き出し(&D)...", &frmKamoMail::OnMemPdfExport);
    file->addSeparator();
    AddAction(file, "memEnd", "終了(&X)", &frmKamoMail::OnMemEnd)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    // What a mail program offers from the keyboard. Keys an edit field or the mail text takes for
    // itself (Ctrl+C, Ctrl+A, Delete while typing) stay theirs: Qt hands such a key to the focused
    // field before the menu.
    QMenu* edit = AddMenu(nullptr, "", "編集(&E)");
    edit->setObjectName("mnuEdit");
    AddAction(edit, "memCopy", "コピー(&C)", &frmKamoMail::OnMemCopy)->setShortcut(QKeySequence::Copy);
    AddAction(edit, "memSelectAll", "すべて選択(&A)", &frmKamoMail::OnMemSelectAll)
        ->setShortcut(QKeySequence::SelectAll);
    edit->addSeparator();
    AddAction(edit, "memSearch", "検索(&F)", &frmKamoMail::OnMemSearch)->setShortcut(QKeySequence::Find);
    edit->addSeparator();
    AddAction(edit, "memReply", "返信(&R)", &frmKamoMail::OnComSendMail)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    QAction* del = AddAction(edit, "memMailDel", "削除(&D)", &frmKamoMail::OnMemMailDel);
    del->setShortcut(QKeySequence::Delete);
    del->setToolTip(U("選択されているメールを削除します（左の一覧にいるときは、その項目のメールを削除します）"));

    QMenu* view = AddMenu(nullptr, "", "表示(&V)");
    view->setObjectName("mnuView");
    QAction* modeSwitch = AddAction(view, "memNameOrAddr", "表示の切り替え(&C)", &frmKamoMail::OnMemNameOrAddr);
    modeSwitch->setShortcut(QKeySequence(Qt::Key_F5));
    memYears = AddAction(view, "memYears", "年ごとのメール(&Y)", &frmKamoMail::OnMemYears);
    memYears->setCheckable(true);
    memYears->setShortcut(QKeySequence(Qt::Key_F6));
    memYears->setToolTip(U("メールの数を月ごとの棒で、すべての年にわたって表示します"));
    AddAction(view, "memOriginalHeader", "元のヘッダー(&H)...", &frmKamoMail::OnMemOriginalHeader);
    commands_.AddCommand(conversation_->AddAction(view));

    QMenu* friends = AddMenu(nullptr, "", "おともだち(&T)");
    friends->setObjectName("mnuFriend");
    AddAction(friends, "memFriendEd", "おともだち帳(&E)...", &frmKamoMail::OnMemFriendEd);
    AddAction(friends, "memAddressAdd", "アドレスをおともだち帳に追加(&A)", &frmKamoMail::OnMemAddressAdd);
    friends->addSeparator();
    AddAction(friends, "memFriend_F", "おともだちファイルを読み込む(&F)", &frmKamoMail::OnMemFriendF);
    AddAction(friends, "memFriend_A", "飼い主の名前で表示(&N)", &frmKamoMail::OnMemFriendA);
    AddAction(friends, "memFriend_P", "ペットの名前で表示(&P)", &frmKamoMail::OnMemFriendP);
    AddAction(friends, "memFriend_M", "メールのもとの名前に戻す(&M)", &frmKamoMail::OnMemFriendM);

    QMenu* filter = AddMenu(nullptr, "", "フィルター(&I)");
    filter->setObjectName("mnuFilter");
    AddAction(filter, "memFilter", "フィルター設定(&S)...", &frmKamoMail::OnMemFilter);
    AddAction(filter, "memFilterGo", "フィルター実行(&G)", &frmKamoMail::OnMemFilterGo);

    QMenu* env = AddMenu(nullptr, "memEnv", "設定(&S)");
    AddAction(env, "memOption", "オプション(&O)...", &frmKamoMail::OnMemOption);

    QMenu* help = AddMenu(nullptr, "memHelp", "ヘルプ(&H)");
    QAction* helpTop = AddAction(help, "memHelp_Top", "ヘルプの目次(&C)", &frmKamoMail::OnMemHelpTop);
    helpTop->setShortcut(QKeySequence::HelpContents);
    help->addSeparator();
    AddAction(help, "memVar", "バージョン情報(&A)", &frmKamoMail::OnMemVar);
}

void frmKamoMail::LockControls() {
    // Commands may change the archive: no list may still be reading from it.
    subjectModel_->FinishLoading();
    LockForRefill();
}

void frmKamoMail::LockForRefill() {
    if (lockDepth_++ == 0) {
        QWidget* focus = QApplication::focusWidget();
        focusBeforeLock_ = focus && isAncestorOf(focus) ? focus : nullptr;
        commands_.ApplyEnabled(false);
    }
}

void frmKamoMail::UnlockControls() {
    if (lockDepth_ > 0 && --lockDepth_ == 0) {
        commands_.ApplyEnabled(true);
        // Disabling the focused list or button sent the focus on to the next control still on (the
        // mail text); it goes back, so that the arrows keep walking the list the user was in. When
        // the control was never switched off, the focus moved on purpose and stays where it is.
        QWidget* before = focusBeforeLock_;
        focusBeforeLock_ = nullptr;
        QWidget* now = QApplication::focusWidget();
        if (before && before->isEnabled() && before->isVisible() && now != before &&
            (!now || (isAncestorOf(now) && commands_.Locks(before))))
            before->setFocus(Qt::MouseFocusReason); // no reason that makes an empty list choose a line
    }
}

void frmKamoMail::Guarded(const std::function<void()>& work) {
    try {
        work();
    } catch (const std::exception& e) {
        prompter_.Error(std::string("エラーが発生しました。\n") + e.what());
    }
}

frmWait& frmKamoMail::WaitWindow() {
    if (!waitWindow_)
        waitWindow_ = new frmWait(this);
    return *waitWindow_;
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

void frmKamoMail::ApplyGeometry(const FormGeometry& geometry) {
    readGeometry_ = geometry;
    PlaceOnScreen(*this, ToPixels(geometry));
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
    ApplyGeometry(geometry);

    const bool blank = QString::fromStdString(settings_.postPetDir).trimmed().isEmpty();
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

    keyModel_->Clear();
    subjectModel_->Clear();
    ClearMailDisplay();
    lblRecCount->clear();
    ApplyMailFont();

    flags_ = BusyFlags{};
    ApplyBackupView();
    loaded_ = true;
    ShowViewMode();
    // The filter subsystem's start-up routine: loads the filter tables.
    if (!FilterStartUp(session_))
        prompter_.Error("フィルターを読み込めませんでした。");
    ArmAutoRead();
    // The keyboard starts in the key list, with no key chosen yet.
    lstNameOrAddr->setFocus(Qt::MouseFocusReason);
    return true;
}

void frmKamoMail::closeEvent(QCloseEvent* event) {
    // A command running with the event loop pumped must finish before the window goes.
    if (lockDepth_ > 0) {
        event->ignore();
        return;
    }
    DeleteTempFiles(session_.Folders().dataDir);
    if (flags_.ending) {
        event->accept();
        return;
    }
    flags_.ending = 1;
    Timer1->stop();
    autoReadWatch_.reset();
    if (loaded_)
        WriteSettings(settings_, CurrentGeometry(), prompter_);
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible())
            w->close();
    event->accept();
}

// ---- View modes and lists ----

void frmKamoMail::ClearMailDisplay() {
    currentMail_.reset();
    txtMail->clear();
    lblHead->clear();
    attachmentList_->Clear();
    pictures_->Clear();
    conversation_->Clear();
}

void frmKamoMail::ShowViewMode() {
    Guarded([this] { ShowViewModeUnguarded(); });
}

void frmKamoMail::ShowViewModeUnguarded() {
    searchBar_->Reset();
    ClearMailDisplay();
    subjectModel_->Clear();
    lblRecCount->clear();
    ViewMode mode = ViewModeOf(settings_.displayType);
    const ViewModeTexts& texts = TextsOf(mode);
    lblNameOrAddr->setText(U(texts.label));
    keyModel_->Clear();
    cmdAddrDel->setToolTip(U(texts.deleteToolTip));
    cmdAddrDel->setText(U(texts.deleteCaption));
    keyModel_->SetItems(FillKeyList(session_.Database(), mode));
    ShowEmptyViewHint();
    FillYearMonths(mode);
    if (!keepYears_)
        ShowYears();
}

void frmKamoMail::ShowYears() {
    if (!picYears->isVisible()) {
        picYears->Clear(); // counted again when shown
        return;
    }
    // A key of the address or name view: its mail, the story of one friendship; otherwise all of it.
    const ViewMode mode = ViewModeOf(settings_.displayType);
    const KeyItem* key = nullptr;
    if ((mode == ViewMode::Address || mode == ViewMode::Name) && lstNameOrAddr->currentIndex().isValid())
        key = keyModel_->At(lstNameOrAddr->currentIndex().row());
    picYears->Clear();
    Guarded([&] {
        if (key)
            picYears->SetCounts(CountMailByMonth(session_.Database(), mode, key->text), Q(key->Shown()));
        else
            picYears->SetCounts(CountMailByMonth(session_.Database()), U("すべてのメール"));
    });
}

void frmKamoMail::OnMemOriginalHeader() {
    MemOriginalHeader(session_.Database(), prompter_, this, currentMail_);
}

void frmKamoMail::OnMemYears() {
    picYears->setVisible(memYears->isChecked());
    ShowYears();
}

void frmKamoMail::ChooseYearMonth(int index) {
    const int row = cmbYearMonth->itemData(index).toInt();
    if (!keyModel_->At(row))
        return;
    lstNameOrAddr->scrollTo(keyModel_->index(row), QAbstractItemView::PositionAtTop);
    ChooseKey(row);
    lstNameOrAddr->setFocus(Qt::MouseFocusReason);
}

void frmKamoMail::ShowMonthInDateView(const QString& month) {
    if (ControlsLocked())
        return;
    if (ViewModeOf(settings_.displayType) != ViewMode::Date) {
        // The picture stays as it is: the next month of the same friendship is one click away.
        keepYears_ = true;
        LockScope lock(*this);
        settings_.displayType = static_cast<int16_t>(ViewMode::Date);
        ShowViewMode();
        keepYears_ = false;
    }
    const int index = cmbYearMonth->findData(month, kMonthRole);
    if (index < 0)
        return;
    cmbYearMonth->setCurrentIndex(index);
    ChooseYearMonth(index);
}

void frmKamoMail::FillYearMonths(ViewMode mode) {
    cmbYearMonth->clear();
    if (mode != ViewMode::Date || keyModel_->rowCount() == 0) {
        cmbYearMonth->hide();
        return;
    }
    // Dates come newest first as "yyyy/mm/dd": one entry per month, at the month's first row.
    QString month;
    int days = 0;
    auto addMonth = [&](int firstRow) {
        cmbYearMonth->addItem(U("%1年%2月（%3 日）").arg(month.left(4), month.mid(5, 2)).arg(days), firstRow);
        cmbYearMonth->setItemData(cmbYearMonth->count() - 1, month, kMonthRole);
    };
    int first = 0;
    for (int row = 0; row < keyModel_->rowCount(); ++row) {
        const QString m = QString::fromStdString(keyModel_->At(row)->text).left(7);
        if (m != month) {
            if (!month.isEmpty())
                addMonth(first);
            month = m;
            first = row;
            days = 0;
        }
        ++days;
    }
    addMonth(first);
    cmbYearMonth->setCurrentIndex(-1);
    cmbYearMonth->setPlaceholderText(U("年月を選ぶ（%1 か月）").arg(cmbYearMonth->count()));
    cmbYearMonth->show();
}

void frmKamoMail::ShowEmptyViewHint() {
    // An empty view says what fills it: shown in the mail pane while no mail is on display.
    QString hint;
    if (keyModel_->rowCount() == 0 && !session_.ViewingBackup()) {
        std::error_code ec;
        const bool folderThere = std::filesystem::is_directory(ResolvePostPetDir(settings_.postPetDir), ec);
        const bool anyMail = session_.Database().execAndGet("SELECT EXISTS (SELECT 1 FROM tblKamoMail)").getInt() != 0;
        if (!anyMail && !folderThere)
            hint = U("PostPet のフォルダが見つかりません。\n\nメニューの「設定」→「オプション」で、PostPet の"
                     "フォルダ（受信フォルダや送信フォルダのあるフォルダ）を選んで下さい。");
        else if (!anyMail)
            hint = U("まだメールがありません。\n\n下の「PostPet Mail Read」を押すと、PostPet のメールを読み込みます。");
        else if (ViewModeOf(settings_.displayType) == ViewMode::Filter)
            hint = U("フィルターがありません。\n\nメニューの「フィルター」→「フィルター設定」で、差出人や件名で"
                     "メールを分けるフィルターを作れます。作ったあと「フィルター実行」で振り分けます。");
    } else if (keyModel_->rowCount() > 0) {
        hint = U("左の一覧から選ぶと、そのメールが右上に並びます。");
    }
    txtMail->setPlaceholderText(hint);
}

void frmKamoMail::AdvanceViewMode() {
    LockScope lock(*this);
    settings_.displayType = NextDisplayType(settings_.displayType);
    ShowViewMode();
}

void frmKamoMail::FocusKeyList() {
    // The new keys are there to be chosen from the keyboard; none is chosen yet, so the subject list
    // stays empty until the user moves in the list. With any other reason the list would make its
    // first row current on taking the focus, and so list that key's mail at once.
    lstNameOrAddr->setFocus(Qt::MouseFocusReason);
}

void frmKamoMail::ChooseKey(int row) {
    if (!keyModel_->At(row))
        return;
    QModelIndex index = keyModel_->index(row);
    if (lstNameOrAddr->currentIndex() != index)
        lstNameOrAddr->setCurrentIndex(index); // fills through the current-changed slot
    else
        FillSubjects(row);
}

void frmKamoMail::FillSubjects(int keyRow) {
    // Dropping the previous list first: a command's lock would otherwise read all of it.
    subjectModel_->Clear();
    searchBar_->Reset();
    LockScope lock(*this);
    Guarded([&] {
        ClearMailDisplay();
        lblRecCount->setText(Q(RecCountText(0)));
        const KeyItem* item = keyModel_->At(keyRow);
        if (!item)
            return;
        ViewMode mode = ViewModeOf(settings_.displayType);
        SQLite::Database& db = session_.Database();
        auto stream = mode == ViewMode::Filter ? std::make_unique<SubjectRowStream>(db, item->filterNo)
                                               : std::make_unique<SubjectRowStream>(db, mode, item->text);
        subjectModel_->SetStream(db, std::move(stream));
        ApplySubjectOrder(false);
    });
    const ViewMode mode = ViewModeOf(settings_.displayType);
    if (mode == ViewMode::Address || mode == ViewMode::Name)
        ShowYears();
}

void frmKamoMail::ApplySubjectOrder(bool newestFirst) {
    subjectsNewestFirst_ = newestFirst;
    if (chosenNewestFirst_ && *chosenNewestFirst_ != newestFirst) {
        subjectModel_->Reverse();
        subjectsNewestFirst_ = *chosenNewestFirst_;
    }
    ShowSubjectOrder();
}

void frmKamoMail::ShowSubjectOrder() {
    // The columns of FormatSubjectLine: date and time, then who, the subject from the 56th column.
    const QString arrow = subjectsNewestFirst_ ? U("▼") : U("▲");
    QString head = U("日付") + arrow + U("     時刻     送受　相手");
    int columns = 0;
    for (QChar c : head)
        columns += c.unicode() < 0x80 ? 1 : 2;
    head += QString(std::max(1, 55 - columns), ' ') + U("件名");
    cmdSubjectOrder->setText(head);
    cmdSubjectOrder->setToolTip(subjectsNewestFirst_ ? U("新しいメールが上です。クリックすると古い順にします")
                                                     : U("古いメールが上です。クリックすると新しい順にします"));
}

void frmKamoMail::ShowSubjectRows(const std::function<std::unique_ptr<SubjectRowSource>()>& makeRows) {
    subjectModel_->Clear();
    LockScope lock(*this);
    Guarded([&] {
        ClearMailDisplay();
        lblRecCount->setText(Q(RecCountText(0)));
        lstNameOrAddr->clearSelection(); // the list no longer shows a key's mail
        lstNameOrAddr->setCurrentIndex(QModelIndex());
        subjectModel_->SetStream(session_.Database(), makeRows());
        ApplySubjectOrder(true); // search results come newest first
    });
}

void frmKamoMail::ChooseSubject(int row) {
    if (row < 0 || row >= subjectModel_->rowCount())
        return;
    QModelIndex index = subjectModel_->index(row);
    if (lstSubject->currentIndex() != index)
        lstSubject->setCurrentIndex(index);
    else
        OnLstSubjectCurrentChanged(index);
}

void frmKamoMail::OnLstNameOrAddrCurrentChanged(const QModelIndex& current) {
    if (current.isValid())
        FillSubjects(current.row());
}

void frmKamoMail::OnLstSubjectCurrentChanged(const QModelIndex& current) {
    if (!current.isValid())
        return;
    Guarded([&] {
        ClearMailDisplay();
        auto line = subjectModel_->Line(current.row());
        std::optional<MailRecord> mail = line ? ReadMail(session_.Database(), line->key) : std::nullopt;
        if (!mail) {
            lblHead->setText(U("このメールはアーカイブにありません。"));
            return;
        }
        lblHead->setText(Q(MailHeadText(*mail)));
        const std::string body = MailBodyText(*mail);
        txtMail->setPlainText(body.find_first_not_of(" \t\n\r") == std::string::npos ? U("（本文なし）") : Q(body));
        attachmentList_->ShowMail(session_.Database(), line->key);
        pictures_->ShowMail(session_.Database(), line->key);
        conversation_->ShowMail(session_.Database(), line->key);
        currentMail_ = std::move(mail);
    });
}

void frmKamoMail::ApplyMailFont() {
    txtMail->setFont(MailTextFont(settings_.mailFontName, settings_.mailFontSize, settings_.mailFontStyle));
}

bool frmKamoMail::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblNameOrAddr && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) && lockDepth_ == 0) {
            AdvanceViewMode();
            FocusKeyList();
            return true;
        }
    }
    if (watched == lblNameOrAddr && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && lockDepth_ == 0 && lblNameOrAddr->isEnabled()) {
            AdvanceViewMode();
            FocusKeyList();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmKamoMail::OnTimer1() {
    lblDate->setText(QDateTime::currentDateTime().toString("yyyy/MM/dd  hh:mm:ss"));
    FinishUpkeepWhenIdle();
    AutoReadWhenIdle();
}

void frmKamoMail::ArmAutoRead() {
    const ReadRequest request = MakeReadRequest(settings_, session_.Folders(), false);
    std::vector<const MailboxInfo*> boxes;
    if (settings_.autoRead)
        for (const auto& choice : request.mailboxes)
            boxes.push_back(choice.box);
    // The same folder and mailboxes: the watch goes on (a new one would read them all once more).
    if (autoReadWatch_ && boxes == autoReadBoxes_ && request.postPetDir == autoReadDir_)
        return;
    autoReadWatch_.reset();
    autoReadDue_.clear();
    autoReadBoxes_ = boxes;
    autoReadDir_ = request.postPetDir;
    if (boxes.empty())
        return;
    try {
        autoReadWatch_ = std::make_unique<QtMailboxWatch>(
            request.postPetDir, request.mailboxes, MailboxWatch::kDefaultSettle,
            [this](std::vector<MailboxChoice> due) {
                for (const auto& choice : due)
                    if (std::none_of(autoReadDue_.begin(), autoReadDue_.end(),
                                     [&](const MailboxChoice& c) { return c.box == choice.box; }))
                        autoReadDue_.push_back(choice);
                AutoReadWhenIdle();
            });
    } catch (const std::exception& e) {
        prompter_.Error(std::string("自動読み込みを始められませんでした。\n") + e.what(), "自動読み込み");
    }
}

void frmKamoMail::AutoReadWhenIdle() {
    // Never inside another command (Timer1 asks again each second), nor on a backup on display.
    if (autoReadDue_.empty() || !loaded_ || flags_.ending || lockDepth_ > 0 || QApplication::activeModalWidget() ||
        session_.ViewingBackup())
        return;
    ReadRequest request = MakeReadRequest(settings_, session_.Folders(), false);
    request.mailboxes = std::exchange(autoReadDue_, {});
    const Place place = CurrentPlace();
    ReadSummary summary;
    try {
        // The usual wait window (the controls locked, the window alive), but no summary to close
        // each time PostPet writes: a note in the status bar, the summary only when something
        // needs the user's eye.
        WaitScope busy(wait_);
        summary = ReadPostPetMail(session_, request, prompter_, wait_);
    } catch (const std::exception& e) {
        // Tried again after a back-off (another program may hold the archive): a note, no dialog
        // for each attempt.
        ShowViewMode();
        const auto retry = autoReadWatch_ ? autoReadWatch_->ReadFailed(request.mailboxes) : std::chrono::milliseconds{};
        statusBar()->showMessage(QDateTime::currentDateTime().toString("hh:mm:ss ") +
                                 QString::fromStdString("自動読み込み: エラーが発生しました（" + std::string(e.what()) +
                                                        "）。" + RetryNote(retry)));
        return;
    }
    if (!summary.completed) {
        if (autoReadWatch_)
            autoReadWatch_->ReadFailed(request.mailboxes);
        return;
    }
    const std::string unfinished =
        autoReadWatch_ ? autoReadWatch_->SetAsideUnfinished(request.mailboxes, summary) : std::string();
    ShowViewMode();
    RestorePlace(place);
    const MailboxSummary totals = summary.Totals();
    std::string names;
    for (const auto& box : summary.mailboxes)
        names += (names.empty() ? "" : "、") + box.name;
    statusBar()->showMessage(QDateTime::currentDateTime().toString("hh:mm:ss ") +
                             QString::fromStdString("自動読み込み " + names + ": " + std::to_string(totals.stored) +
                                                    " 通を保存しました" +
                                                    (unfinished.empty() ? "" : "（" + unfinished + "）")));
    if (summary.AnyFailed() || !summary.refreshed)
        prompter_.ShowTable(SummaryTable(summary), "自動読み込み");
}

void frmKamoMail::FinishUpkeepWhenIdle() {
    ArchiveUpkeep* upkeep = session_.Upkeep();
    if (!upkeep || !upkeep->Finished() || upkeepTold_ || !loaded_ || lockDepth_ > 0 ||
        QApplication::activeModalWidget())
        return;
    const ArchiveUpkeep::Outcome outcome = upkeep->Result();
    if (outcome == ArchiveUpkeep::Outcome::Broken) {
        upkeepTold_ = true;
        prompter_.Error("アーカイブの検査で問題が見つかりました（" + upkeep->Problem() +
                        "）。\nバックアップ (.Bak) は前のままです。KamoMail をもう一度起動すると、"
                        "元に戻すかどうかを尋ねます。");
        return;
    }
    if (outcome != ArchiveUpkeep::Outcome::CopyReady)
        return;
    // The compacted copy goes in place while nothing runs: the lists let go of the archive and come
    // back where the user was. A backup on display keeps its own connection.
    Guarded([this] {
        const bool viewing = session_.ViewingBackup();
        const Place place = CurrentPlace();
        if (!viewing)
            LetGoOfArchive();
        session_.FinishUpkeep();
        if (!viewing) {
            ShowViewMode();
            RestorePlace(place);
        }
    });
}

// ---- Commands ----

bool frmKamoMail::RunOptionDialog() {
    frmOption dialog(settings_, prompter_, this);
    HookReadOptions(dialog, settings_, prompter_);
    if (optionRunner_(dialog) != QDialog::Accepted)
        return false;
    ApplyMailFont();
    ArmAutoRead();
    if (!WriteSettings(settings_, CurrentGeometry(), prompter_)) {
        // The settings file cannot be written: the program ends, as at any settings failure.
        flags_.ending = 1;
        close();
        QCoreApplication::exit(1);
        return false;
    }
    return true;
}

void frmKamoMail::OnComSendMail() {
    Guarded([this] {
        if (!currentMail_) {
            prompter_.Message("返信するメールを選択して下さい。");
            return;
        }
        std::string address = ReplyAddress(*currentMail_);
        if (address.empty()) {
            prompter_.Message("このメールには返信先のアドレスがありません。");
            return;
        }
        QUrl url;
        url.setScheme("mailto");
        url.setPath(Q(address), QUrl::DecodedMode);
        // Everything percent-encoded: a subject may hold "&", "=" or "#".
        url.setQuery("subject=" + QString::fromLatin1(QUrl::toPercentEncoding(Q(ReplySubject(*currentMail_)))),
                     QUrl::StrictMode);
        if (!urlOpener_(url))
            prompter_.Message("メールソフトを起動できませんでした。");
    });
}

void frmKamoMail::OnComEnd() {
    close();
}
void frmKamoMail::OnMemEnd() {
    close();
}

void frmKamoMail::OnMemNameOrAddr() {
    AdvanceViewMode();
    comMailRead->setFocus();
}

void frmKamoMail::OnMemOption() {
    Guarded([this] { RunOptionDialog(); });
}

void frmKamoMail::OnMemHelpTop() {
    frmHelp::Show(this, QString::fromStdString(session_.Folders().helpPath.string()), prompter_);
}

void frmKamoMail::OnMemVar() {
    const AppFolders& folders = session_.Folders();
    prompter_.Message("KamoMail\nVersion " + VersionText() + "\n\n設定フォルダ: " + folders.settingsDir.string() +
                          "\nデータフォルダ: " + folders.dataDir.string() + "\n変換ライブラリ: " +
                          folders.libraryPath.string() + "\n\nQt " + qVersion() + " / SQLite " + sqlite3_libversion(),
                      "バージョン情報");
}

// Commands whose owners wire them in; disabled until then, and never silently doing nothing.
void frmKamoMail::OnComMailRead() {
    ComMailRead(session_, prompter_, wait_, *this);
}
void frmKamoMail::OnComMailDel() {
    Guarded([this] {
        if (!currentMail_) {
            prompter_.Message("削除するメールを選択して下さい。");
            return;
        }
        DeletionTarget target;
        target.kind = DeletionTarget::Kind::Mail;
        target.mail = MailKey{currentMail_->ymd,     currentMail_->hms,     currentMail_->subKey, currentMail_->sent,
                              currentMail_->sndName, currentMail_->rcvName, currentMail_->sndAdd, currentMail_->rcvAdd};
        target.subject = currentMail_->subject;
        const Place place = CurrentPlace();
        // A mail deleted from a search result: the result stays, with the mail after it chosen.
        const QString query = searchBar_->ActiveQuery();
        if (RunDeletion(session_, prompter_, wait_, *this, target) == 0)
            return;
        if (query.isEmpty()) {
            RestorePlace(place);
            return;
        }
        searchBar_->SearchAgain(query);
        subjectModel_->FinishLoading();
        if (const int count = subjectModel_->rowCount(); count > 0 && place.subjectRow >= 0) {
            ChooseSubject(std::min(place.subjectRow, count - 1));
            lstSubject->setFocus(Qt::MouseFocusReason);
        }
    });
}

void frmKamoMail::OnMemMailDel() {
    // Delete in the key list deletes the key's mail, elsewhere the mail on display; both ask first.
    if (lstNameOrAddr->hasFocus())
        OnCmdAddrDel();
    else
        OnComMailDel();
}

void frmKamoMail::OnMemCopy() {
    QWidget* focus = QApplication::focusWidget();
    QString text;
    if (focus == lblHead)
        text = lblHead->selectedText();
    else if (focus == lstSubject || focus == lstNameOrAddr)
        text = static_cast<QListView*>(focus)->currentIndex().data().toString();
    else if (txtMail->textCursor().hasSelection())
        text = txtMail->textCursor().selection().toPlainText();
    if (text.isEmpty() && currentMail_) // nothing chosen: the whole mail on display
        text = lblHead->text() + "\n\n" + txtMail->toPlainText();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void frmKamoMail::OnMemSelectAll() {
    txtMail->setFocus(Qt::ShortcutFocusReason);
    txtMail->selectAll();
}

void frmKamoMail::OnMemSearch() {
    searchBar_->FocusField();
}

void frmKamoMail::OnCmdAddrDel() {
    Guarded([this] {
        const KeyItem* item = keyModel_->At(lstNameOrAddr->currentIndex().row());
        if (!item) {
            prompter_.Message("削除する項目を左の一覧から選択して下さい。");
            return;
        }
        const DeletionTarget target = KeyTarget(ViewModeOf(settings_.displayType), item->text, item->filterNo);
        Place place = CurrentPlace();
        place.subjectRow = 0;
        if (RunDeletion(session_, prompter_, wait_, *this, target) > 0)
            RestorePlace(place);
    });
}

frmKamoMail::Place frmKamoMail::CurrentPlace() const {
    Place place;
    const int keyRow = lstNameOrAddr->currentIndex().row();
    place.keyRow = keyRow;
    if (const KeyItem* item = keyModel_->At(keyRow))
        place.key = item->text;
    place.subjectRow = lstSubject->currentIndex().row();
    return place;
}

void frmKamoMail::RestorePlace(const Place& place) {
    // The same key when it is still there, else the one that took its row; the mail that now sits
    // where the deleted one was.
    int row = -1;
    for (int i = 0; i < keyModel_->rowCount(); ++i)
        if (keyModel_->At(i)->text == place.key) {
            row = i;
            break;
        }
    if (row < 0)
        row = std::min(place.keyRow, keyModel_->rowCount() - 1);
    if (row < 0)
        return;
    ChooseKey(row);
    subjectModel_->FinishLoading();
    const int count = subjectModel_->rowCount();
    if (count > 0 && place.subjectRow >= 0)
        ChooseSubject(std::min(place.subjectRow, count - 1));
}
void frmKamoMail::OnMemExport() {
    Guarded([this] {
        const auto folder = folderChooser_(U("書き出すフォルダを選んで下さい"));
        if (folder && !folder->isEmpty())
            ExportCsvCommand(session_, prompter_, wait_, folder->toStdString());
    });
}

void frmKamoMail::OnMemMailExport() {
    WithMailsOnOffer(MemMailExport, false);
}
void frmKamoMail::WithMailsOnOffer(MailsCommand command, bool shownMail) {
    // On offer: every mail, the chosen key's and the search result's; the narrowest is ticked.
    std::vector<MailSelection> offer{MailSelection::All()};
    if (const KeyItem* key = keyModel_->At(lstNameOrAddr->currentIndex().row()))
        offer.push_back(SelectionOf(ViewModeOf(settings_.displayType), *key));
    if (const QString query = searchBar_->ActiveQuery(); !query.isEmpty())
        offer.push_back(MailSelection::Of(MailSelection::Kind::Search, query.toStdString()));
    if (shownMail && currentMail_)
        offer.push_back(MailSelection::OneMail(*currentMail_));
    command(session_, prompter_, wait_, this, offer);
}
void frmKamoMail::OnMemPrint() {
    WithMailsOnOffer(MemPrint, true);
}
void frmKamoMail::OnMemPdfExport() {
    WithMailsOnOffer(MemPdfExport, true);
}
void frmKamoMail::OnMemInport() {
    Guarded([this] {
        const auto folder =
            folderChooser_(U("取り込むフォルダ（書き出したテキストファイルのあるフォルダ）を選んで下さい"));
        if (folder && !folder->isEmpty())
            ImportCsvCommand(session_, prompter_, wait_, *this, folder->toStdString());
    });
}
// ---- Backups and recreation ----

void frmKamoMail::OnMemBackUpMake() {
    Guarded([this] {
        if (auto path = BackupCommand(session_, prompter_, wait_))
            prompter_.Message("今日のバックアップを作成しました。\n" + path->string(), "バックアップ");
    });
}

void frmKamoMail::OnMemBackUpFileEdit() {
    Guarded([this] {
        frmBackupList list(frmBackupList::Mode::Organize, session_.Folders().dataDir, prompter_, this);
        backupListRunner_(list);
    });
}

void frmKamoMail::OnMemBackUpFileSelect() {
    Guarded([this] {
        std::optional<std::filesystem::path> chosen;
        {
            frmBackupList list(frmBackupList::Mode::Select, session_.Folders().dataDir, prompter_, this);
            if (backupListRunner_(list) != QDialog::Accepted)
                return;
            chosen = list.Chosen();
        }
        if (chosen)
            ShowBackup(*chosen);
    });
}

void frmKamoMail::ShowBackup(const std::filesystem::path& backup) {
    auto db = OpenBackupReadOnly(backup); // throws before anything changes
    LetGoOfArchive();
    session_.ShowBackup(std::move(db), backup);
    ApplyBackupView();
    ShowViewMode();
}

void frmKamoMail::OnMemNomalDisp() {
    Guarded([this] {
        LetGoOfArchive();
        session_.ShowArchive();
        ApplyBackupView();
        ShowViewMode();
    });
}

void frmKamoMail::ApplyBackupView() {
    const bool viewing = session_.ViewingBackup();
    // What would change the archive stays off while a backup is on display; the backup itself can
    // never change, it is opened read-only.
    commands_.ApplyBackupView(viewing);
    commands_.ApplyEnabled(lockDepth_ == 0);
    setWindowTitle(viewing
                       ? U("PostPet Mail 表示 － バックアップ ") +
                             QString::fromStdString(session_.BackupShown().filename().string()) + U("（読み取り専用）")
                       : U("PostPet Mail 表示"));
}

void frmKamoMail::OnMemDBEdit() {
    Guarded([this] { RecreateCommand(session_, prompter_, wait_, *this); });
}

void frmKamoMail::LetGoOfArchive() {
    ClearMailDisplay();
    conversation_->Forget();
    subjectModel_->Clear();
    keyModel_->Clear();
}
// ---- Friend book ----

void frmKamoMail::OnMemFriendF() {
    Guarded([this] {
        const std::string remembered = ReadProfileString(settings_.settingsPath, "Friend Editer", kFriendFileKey, "");
        const QString start = Q(remembered.empty() ? ResolvePostPetDir(settings_.postPetDir).string() : remembered);
        const std::optional<QString> chosen = friendFileChooser_(start);
        if (!chosen || chosen->isEmpty())
            return;
        WriteProfileString(settings_.settingsPath, "Friend Editer", kFriendFileKey, chosen->toStdString());
        ReadFriendsCommand(session_, prompter_, wait_, chosen->toStdString());
    });
}

void frmKamoMail::OnMemFriendEd() {
    Guarded([this] {
        frmFriend editor(session_.Database(), settings_, prompter_, this);
        friendEditorRunner_(editor);
    });
}

void frmKamoMail::OnMemAddressAdd() {
    Guarded([this] {
        std::string address, name;
        const KeyItem* key = keyModel_->At(lstNameOrAddr->currentIndex().row());
        if (ViewModeOf(settings_.displayType) == ViewMode::Address && key && !currentMail_) {
            address = key->text;
        } else if (currentMail_) {
            address = ReplyAddress(*currentMail_);
            name = currentMail_->sent ? currentMail_->rcvName : currentMail_->sndName;
        }
        if (address.empty()) {
            prompter_.Message("おともだち帳に追加するメールかアドレスを選択して下さい。");
            return;
        }
        if (AddFriendAddress(session_.Database(), address, name))
            prompter_.Message(address + " をおともだち帳に追加しました。", "おともだち帳");
        else
            prompter_.Message(address + " はもうおともだち帳にあります。", "おともだち帳");
    });
}

void frmKamoMail::OnMemFriendA() {
    Guarded([this] { RenameCommand(session_, prompter_, wait_, *this, FriendName::Owner); });
}
void frmKamoMail::OnMemFriendP() {
    Guarded([this] { RenameCommand(session_, prompter_, wait_, *this, FriendName::Pet); });
}
void frmKamoMail::OnMemFriendM() {
    Guarded([this] { RestoreNamesCommand(session_, prompter_, wait_, *this); });
}

// ---- Filter commands (app/filters) ----

void frmKamoMail::OnMemFilter() {
    MemFilter(session_, prompter_, wait_, *this, this);
    comMailRead->setFocus();
}
void frmKamoMail::OnMemFilterGo() {
    Guarded([this] {
        if (MemFilterGo(session_, prompter_, wait_, *this))
            prompter_.Message("フィルターを実行しました。\n" + FilterCountsText(session_), "フィルター実行");
    });
}

// ---- The wait window and the control lock ----

void frmKamoMail::WindowWait::Begin() {
    ++window_.waitDepth_;
    window_.LockControls();
    frmWait& wait = window_.WaitWindow();
    if (!wait.isVisible()) {
        wait.Reset();
        wait.show();
        wait.raise();
        QCoreApplication::processEvents();
    }
}

void frmKamoMail::WindowWait::OfferCancel() {
    window_.WaitWindow().OfferCancel(true);
}

bool frmKamoMail::WindowWait::CancelRequested() const {
    return window_.waitWindow_ && window_.waitWindow_->CancelRequested();
}

void frmKamoMail::WindowWait::End() {
    // The last wait scope hides the window, also when a list refill's lock is still held around it
    // (a search that first brings the index up to date).
    if (window_.waitDepth_ > 0 && --window_.waitDepth_ == 0 && window_.waitWindow_) {
        window_.waitWindow_->OfferCancel(false);
        // The keyboard goes back to the main window, to the control it was in.
        const bool hadKeyboard = window_.waitWindow_->isActiveWindow();
        window_.waitWindow_->hide();
        if (hadKeyboard && window_.isVisible())
            window_.activateWindow();
    }
    window_.UnlockControls();
}

void frmKamoMail::WindowWait::SetLine(int index, const std::string& text) {
    window_.WaitWindow().SetLine(index, text);
}

void frmKamoMail::WindowWait::SetProgress(int64_t done, int64_t total) {
    window_.WaitWindow().SetProgress(done, total);
}

void frmKamoMail::WindowWait::Pump() {
    window_.WaitWindow().Pump();
}

} // namespace kamo
