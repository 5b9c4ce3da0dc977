#include "browse/QtMailBrowser.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSplitter>
#include <QSyntaxHighlighter>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <map>

#include "browse/KeyLists.h"
#include "browse/MailView.h"
#include "browse/MonthCounts.h"
#include "browse/QtAttachmentList.h"
#include "browse/QtControlLock.h"
#include "browse/QtConversationLine.h"
#include "browse/QtLayoutSizes.h"
#include "browse/QtListModels.h"
#include "browse/QtMailPictures.h"
#include "browse/QtMonthChart.h"
#include "browse/QtSearchBar.h"
#include "browse/SubjectCursor.h"
#include "browse/SubjectLines.h"
#include "browse/ThreadedLines.h"
#include "browse/frmOption.h"
#include "common/ArchiveView.h"
#include "common/AsciiText.h"
#include "common/Guarded.h"
#include "common/NumberText.h"
#include "common/Prompter.h"
#include "common/Settings.h"
#include "db/ArchiveSession.h"
#include "db/MailRows.h"
#include "platform/Folders.h"

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

QListView* MakeList(QWidget* parent, const char* name, QAbstractItemModel* model, const QFont& font) {
    auto* list = new QListView(parent);
    list->setObjectName(name);
    list->setModel(model);
    list->setUniformItemSizes(true);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setFont(font);
    return list;
}

} // namespace

QtMailBrowser::QtMailBrowser(ArchiveSession& session, Prompter& prompter, QtControlLock& lock, ArchiveView& view,
                             QWidget* parent)
    : QWidget(parent), session_(session), prompter_(prompter), lock_(lock), view_(view) {
    BuildLists();
}

void QtMailBrowser::BuildLists() {
    lblNameOrAddr = new QLabel(this);
    lblNameOrAddr->setObjectName("lblNameOrAddr");
    lblNameOrAddr->setFrameStyle(QFrame::Panel | QFrame::Raised);
    lblNameOrAddr->setAlignment(Qt::AlignCenter);
    lblNameOrAddr->setMinimumWidth(180);
    lblNameOrAddr->setCursor(Qt::PointingHandCursor);
    lblNameOrAddr->setToolTip(U("クリックすると表示を切り替えます（F5、Tab で選んで Space でも）"));
    lblNameOrAddr->setFocusPolicy(Qt::StrongFocus); // reachable with Tab
    lblNameOrAddr->installEventFilter(this);
    lblRecCount = new QLabel(this);
    lblRecCount->setObjectName("lblRecCount");

    const QFont listFont = MailTextFont("ＭＳ ゴシック", 10, "0,0");
    keyModel_ = new KeyListModel(this);
    lstNameOrAddr = MakeList(this, "lstNameOrAddr", keyModel_, listFont);
    connect(lstNameOrAddr->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (!current.isValid() || quiet_)
                    return;
                month_.clear(); // another key: all of its mail
                FillSubjects(current.row());
                FollowYearMonth();
            });
    subjectModel_ = new SubjectListModel(this);
    lstSubject = MakeList(this, "lstSubject", subjectModel_, listFont);
    connect(lstSubject->selectionModel(), &QItemSelectionModel::currentChanged, this, &QtMailBrowser::ShowMail);
    connect(subjectModel_, &SubjectListModel::CountChanged, this,
            [this](qsizetype count, bool) { lblRecCount->setText(Q(RecCountText(static_cast<size_t>(count)))); });
    connect(subjectModel_, &SubjectListModel::LoadFailed, this,
            [this](const QString& message) { prompter_.Error("エラーが発生しました。\n" + message.toStdString()); });

    auto* mailPane = new QWidget(this);
    BuildMailPane(mailPane);

    // The search field sits on top of the list it fills.
    searchBar_ = new QtSearchBar(
        session_, lock_, view_, [this](const auto& makeRows) { ShowSubjectRows(makeRows); }, this);
    auto* subjectPane = new QWidget(this);
    auto* subjectLayout = new QVBoxLayout(subjectPane);
    subjectLayout->setContentsMargins(0, 0, 0, 0);
    subjectLayout->addWidget(searchBar_);
    // The heading of the subject columns, in the lines' own font and columns; a click turns the
    // order round (oldest or newest first).
    cmdSubjectOrder = new QPushButton(this);
    cmdSubjectOrder->setObjectName("cmdSubjectOrder");
    cmdSubjectOrder->setFlat(true);
    cmdSubjectOrder->setFont(listFont);
    cmdSubjectOrder->setStyleSheet("text-align: left; padding-left: 4px;");
    cmdSubjectOrder->setFocusPolicy(Qt::NoFocus);
    connect(cmdSubjectOrder, &QPushButton::clicked, this, &QtMailBrowser::TurnSubjectOrder);
    // Beside it: each conversation's later mails under its first, in the order the heading says.
    cmdThreads = new QPushButton(U("スレッド"), this);
    cmdThreads->setObjectName("cmdThreads");
    cmdThreads->setCheckable(true);
    cmdThreads->setFocusPolicy(Qt::NoFocus);
    cmdThreads->setToolTip(U("オンにすると、同じ会話のメールを最初のメールの下に字下げしてまとめます"));
    connect(cmdThreads, &QPushButton::clicked, this, &QtMailBrowser::ToggleThreads);
    ShowSubjectOrder();
    auto* headingRow = new QHBoxLayout;
    headingRow->setContentsMargins(0, 0, 0, 0);
    headingRow->addWidget(cmdSubjectOrder, 1);
    headingRow->addWidget(cmdThreads);
    subjectLayout->addLayout(headingRow);
    subjectLayout->addWidget(lstSubject, 1);

    SetUpListConventions(lstNameOrAddr);
    SetUpListConventions(lstSubject);

    auto* right = new QSplitter(Qt::Vertical, this);
    splRight_ = right;
    right->setObjectName("splRight");
    right->addWidget(subjectPane);
    right->addWidget(mailPane);
    // The mail takes most of what the window gains.
    right->setStretchFactor(0, 1);
    right->setStretchFactor(1, 3);
    right->setSizes({170, 330});
    right->setChildrenCollapsible(false);

    // The date view lists every day: a year-and-month chooser above it jumps to a month.
    cmbYearMonth = new QComboBox(this);
    cmbYearMonth->setObjectName("cmbYearMonth");
    cmbYearMonth->setToolTip(U("選んだ年月の日付へ移ります"));
    cmbYearMonth->hide();
    connect(cmbYearMonth, &QComboBox::activated, this, &QtMailBrowser::ChooseYearMonth);
    auto* keyPane = new QWidget(this);
    auto* keyLayout = new QVBoxLayout(keyPane);
    keyLayout->setContentsMargins(0, 0, 0, 0);
    keyLayout->addWidget(cmbYearMonth);
    keyLayout->addWidget(lstNameOrAddr, 1);

    auto* split = new QSplitter(Qt::Horizontal, this);
    splMain_ = split;
    split->setObjectName("splMain");
    split->addWidget(keyPane);
    split->addWidget(right);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 3);
    split->setSizes({210, 570}); // room for a whole mail address at the design size
    split->setChildrenCollapsible(false);

    // The years at a glance, across the window under the lists; shown from the view menu.
    picYears = new QtMonthChart(this);
    picYears->setToolTip(U("月ごとのメールの数です。棒を押すと、選んだ相手のその月のメールを並べます"
                           "（相手を選んでいないときは日付表示で開きます）"));
    picYears->setMinimumHeight(120);
    picYears->hide();
    connect(picYears, &QtMonthChart::MonthChosen, this, &QtMailBrowser::ChooseMonth);

    // Mode label and counts on top, keys left, subjects over the mail right, the years under them.
    topRow_ = new QHBoxLayout;
    topRow_->addWidget(lblNameOrAddr);
    topRow_->addSpacing(12);
    topRow_->addWidget(lblRecCount);
    topRow_->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(topRow_);
    layout->addWidget(split, 1);
    layout->addWidget(picYears);

    QtCommandRegistry& registry = lock_.Registry();
    for (QObject* control : std::initializer_list<QObject*>{lblNameOrAddr, cmbYearMonth, lstNameOrAddr, lstSubject,
                                                            attachmentList_, picYears})
        registry.AddLockable(control);
    registry.AddCommand(cmdSubjectOrder);
    registry.AddCommand(cmdThreads);
    // What the user types goes on into the field while a read runs beside them; Enter waits for it.
    registry.AddTypingField(searchBar_);
    searchBar_->SetHeld([this] { return lock_.Locked(); });
}

void QtMailBrowser::BuildMailPane(QWidget* pane) {
    lblHead = new QLabel(pane);
    lblHead->setObjectName("lblHead");
    lblHead->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lblHead->setTextFormat(Qt::PlainText);
    // The header can be selected and copied like the body, with the mouse or the keyboard.
    lblHead->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    lblHead->setContextMenuPolicy(Qt::DefaultContextMenu);
    lblHead->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const QFont listFont = MailTextFont("ＭＳ ゴシック", 10, "0,0");
    lblHead->setFont(listFont);
    lblHead->setMinimumHeight(QFontMetrics(listFont).lineSpacing() * 4 + 8);

    txtMail = new QPlainTextEdit(pane);
    txtMail->setObjectName("txtMail");
    txtMail->setReadOnly(true);
    // Read-only text takes no keys of its own: with a keyboard cursor, Ctrl+End and Ctrl+Home, the
    // arrows and Shift-selection work in the mail as in any reader, and the cursor's line is shown whole.
    txtMail->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    txtMail->setAttribute(Qt::WA_InputMethodEnabled, true);
    txtMail->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    txtMail->setTabChangesFocus(true);
    new QuoteHighlighter(txtMail->document());

    auto* mailLayout = new QVBoxLayout(pane);
    mailLayout->setContentsMargins(0, 0, 0, 0);
    mailLayout->addWidget(lblHead);
    conversation_ = new QtConversationLine(lock_, prompter_, pane);
    mailLayout->addWidget(conversation_);
    attachmentList_ = new QtAttachmentList(prompter_, pane);
    // The text and its pictures in one pane that scrolls as one; a picture opens, saves, copies and
    // drags out as its line in the attachment list does.
    pictures_ = new QtMailPictures(pane);
    pictures_->SetText(txtMail);
    pictures_->SetOpener([this](int64_t position) { return attachmentList_->OpenAttachment(position); });
    pictures_->SetMenuMaker(
        [this](int64_t position, QWidget* parent) { return attachmentList_->MenuOf(position, parent); });
    pictures_->SetDragger(
        [this](int64_t position, QWidget* source) { return attachmentList_->DragAttachment(position, source); });
    // A command's lock switches the pictures off; the text stays readable.
    lock_.Registry().AddLockable(pictures_->PictureColumn());
    mailLayout->addWidget(pictures_, 1);
    mailLayout->addWidget(attachmentList_);
}

QList<QWidget*> QtMailBrowser::TabChain() const {
    // Tab walks the window as it reads: mode, keys, search, mail lines, the mail and its attachments.
    QList<QWidget*> chain{lblNameOrAddr, cmbYearMonth, lstNameOrAddr};
    if (auto* field = searchBar_->findChild<QWidget*>("txtSearch"))
        chain << field;
    chain << lstSubject << txtMail;
    for (QWidget* w : attachmentList_->findChildren<QWidget*>())
        if (w->focusPolicy() & Qt::TabFocus)
            chain << w;
    return chain;
}

ViewMode QtMailBrowser::Mode() const {
    return ViewModeOf(session_.AppSettings().displayType);
}

void QtMailBrowser::ClearMailDisplay() {
    currentMail_.reset();
    txtMail->clear();
    lblHead->clear();
    attachmentList_->Clear();
    pictures_->Clear();
    conversation_->Clear();
}

void QtMailBrowser::Clear() {
    ClearMailDisplay();
    conversation_->Forget();
    subjectModel_->Clear();
    keyModel_->Clear();
}

void QtMailBrowser::FinishLoading() {
    subjectModel_->FinishLoading();
}

void QtMailBrowser::ShowViewMode() {
    searchBar_->Reset();
    month_.clear();
    ClearMailDisplay();
    subjectModel_->Clear();
    lblRecCount->clear();
    const ViewMode mode = Mode();
    lblNameOrAddr->setText(U(TextsOf(mode).label));
    keyModel_->Clear();
    keyModel_->SetItems(FillKeyList(session_.Database(), mode));
    ShowEmptyViewHint();
    FillYearMonths(mode);
    if (!keepYears_)
        ShowYears();
}

void QtMailBrowser::ShowYears() {
    if (!picYears->isVisible()) {
        picYears->Clear(); // counted again when shown
        return;
    }
    // A key of the address or name view: its mail, the story of one friendship; otherwise all of it.
    const ViewMode mode = Mode();
    const KeyItem* key = nullptr;
    if ((mode == ViewMode::Address || mode == ViewMode::Name) && lstNameOrAddr->currentIndex().isValid())
        key = keyModel_->At(lstNameOrAddr->currentIndex().row());
    picYears->Clear();
    Guarded(prompter_, [&] {
        if (key)
            picYears->SetCounts(CountMailByMonth(session_.Database(), mode, key->text), Q(key->Shown()));
        else
            picYears->SetCounts(CountMailByMonth(session_.Database()), U("すべてのメール"));
    });
    picYears->SetChosenMonth(key ? KeyMonth() : QString());
}

void QtMailBrowser::ShowYearsPicture(bool shown) {
    picYears->setVisible(shown);
    ShowYears();
}

bool QtMailBrowser::YearsPictureShown() const {
    return !picYears->isHidden();
}

void QtMailBrowser::RestoreLayout(const Settings& settings) {
    // Sizes that do not fit the splitter (another version's, edited by hand) leave the design's.
    for (auto [splitter, text] : {std::pair{splMain_, &settings.keySplit}, std::pair{splRight_, &settings.mailSplit}})
        if (const QList<int> sizes = SplitSizes(*text); sizes.size() == splitter->count())
            splitter->setSizes(sizes);
    ShowYearsPicture(settings.showYears);
    cmdThreads->setChecked(settings.threadedLines);
}

void QtMailBrowser::SaveLayout(Settings& settings) const {
    settings.showYears = YearsPictureShown();
    settings.threadedLines = cmdThreads->isChecked();
    settings.keySplit = SizesText(splMain_->sizes());
    settings.mailSplit = SizesText(splRight_->sizes());
}

void QtMailBrowser::ChooseMonth(const QString& month) {
    if (lock_.Locked())
        return;
    const ViewMode mode = Mode();
    const QModelIndex key = lstNameOrAddr->currentIndex();
    if ((mode != ViewMode::Address && mode != ViewMode::Name) || !key.isValid()) {
        ShowMonthInDateView(month);
        return;
    }
    // The friendship's month: the key's list narrowed to it; the marked month again widens it.
    month_ = month == KeyMonth() ? std::string() : month.toStdString();
    FillSubjects(key.row());
}

void QtMailBrowser::ChooseYearMonth(int index) {
    const int row = cmbYearMonth->itemData(index).toInt();
    if (!keyModel_->At(row))
        return;
    lstNameOrAddr->scrollTo(keyModel_->index(row), QAbstractItemView::PositionAtTop);
    ChooseKey(row);
    lstNameOrAddr->setFocus(Qt::MouseFocusReason);
}

void QtMailBrowser::ShowMonthInDateView(const QString& month) {
    if (lock_.Locked())
        return;
    if (Mode() != ViewMode::Date) {
        // The picture stays as it is: the next month of the same friendship is one click away.
        keepYears_ = true;
        QtControlLock::Scope lock(lock_);
        session_.AppSettings().displayType = static_cast<int16_t>(ViewMode::Date);
        view_.ShowViewMode();
        keepYears_ = false;
    }
    const int index = cmbYearMonth->findData(month, kMonthRole);
    if (index < 0)
        return;
    cmbYearMonth->setCurrentIndex(index);
    ChooseYearMonth(index);
}

void QtMailBrowser::FillYearMonths(ViewMode mode) {
    cmbYearMonth->clear();
    if (mode != ViewMode::Date || keyModel_->rowCount() == 0) {
        cmbYearMonth->hide();
        return;
    }
    // Dates come newest first as "yyyy/mm/dd": one entry per month, at the month's first row.
    QString month;
    int days = 0;
    auto addMonth = [&](int firstRow) {
        cmbYearMonth->addItem(MonthEntryText(month, days, std::nullopt), firstRow);
        cmbYearMonth->setItemData(cmbYearMonth->count() - 1, month, kMonthRole);
        cmbYearMonth->setItemData(cmbYearMonth->count() - 1, days, kDaysRole);
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
    // Counting the whole archive by month takes longer than the list: the mails come in once the
    // list is on screen.
    QTimer::singleShot(0, this, [this, filled = ++yearMonthFills_] {
        if (filled == yearMonthFills_ && Mode() == ViewMode::Date)
            CountYearMonths();
    });
}

QString QtMailBrowser::MonthEntryText(const QString& month, int days, std::optional<int64_t> mails) {
    const QString when = U("%1年%2月").arg(month.left(4), month.mid(5, 2));
    return mails ? U("%1（%2 日・%3 通）").arg(when).arg(days).arg(Q(WithSeparators(*mails)))
                 : U("%1（%2 日）").arg(when).arg(days);
}

void QtMailBrowser::CountYearMonths() {
    // Each month says how many mails it holds, received and sent apart in its tool tip.
    std::map<QString, MonthCount> counts;
    for (MonthCount& count : CountMailByMonth(session_.Database()))
        counts.emplace(Q(count.month), std::move(count));
    for (int index = 0; index < cmbYearMonth->count(); ++index) {
        const QString month = cmbYearMonth->itemData(index, kMonthRole).toString();
        const auto it = counts.find(month);
        const MonthCount count = it != counts.end() ? it->second : MonthCount{month.toStdString()};
        cmbYearMonth->setItemText(index, MonthEntryText(month, cmbYearMonth->itemData(index, kDaysRole).toInt(),
                                                        count.received + count.sent));
        cmbYearMonth->setItemData(index, Q(MonthTip(count)), Qt::ToolTipRole);
    }
}

void QtMailBrowser::ShowEmptyViewHint() {
    // An empty view says what fills it: shown in the mail pane while no mail is on display.
    QString hint;
    if (keyModel_->rowCount() == 0 && !session_.ViewingBackup()) {
        std::error_code ec;
        const bool folderThere =
            std::filesystem::is_directory(ResolvePostPetDir(session_.AppSettings().postPetDir), ec);
        const bool anyMail = HasAnyMail(session_.Database());
        if (!anyMail && !folderThere)
            hint = U("PostPet のフォルダが見つかりません。\n\nメニューの「設定」→「オプション」で、PostPet の"
                     "フォルダ（受信フォルダや送信フォルダのあるフォルダ）を選んで下さい。");
        else if (!anyMail)
            hint = U("まだメールがありません。\n\n下の「PostPet Mail Read」を押すと、PostPet のメールを読み込みます。");
        else if (Mode() == ViewMode::Filter)
            hint = U("フィルターがありません。\n\nメニューの「フィルター」→「フィルター設定」で、差出人や件名で"
                     "メールを分けるフィルターを作れます。作ったあと「フィルター実行」で振り分けます。");
    } else if (keyModel_->rowCount() > 0) {
        hint = U("左の一覧から選ぶと、そのメールが右上に並びます。");
    }
    txtMail->setPlaceholderText(hint);
}

void QtMailBrowser::AdvanceViewMode() {
    const KeyItem* item = CurrentKey();
    const std::string key = item ? item->text : std::string();
    {
        QtControlLock::Scope lock(lock_);
        Settings& settings = session_.AppSettings();
        settings.displayType = NextDisplayType(settings.displayType);
        view_.ShowViewMode();
    }
    // The chosen key stays chosen where the next view has it too.
    if (const int row = key.empty() ? -1 : RowOfKey(key); row >= 0) {
        lstNameOrAddr->scrollTo(keyModel_->index(row), QAbstractItemView::PositionAtCenter);
        ChooseKey(row);
    }
}

void QtMailBrowser::ShowNewMail() {
    QPointer<QWidget> focus = QApplication::focusWidget();
    auto* field = searchBar_->findChild<QLineEdit*>("txtSearch");
    const QString typed = field ? field->text() : QString();
    const QString query = searchBar_->ActiveQuery();
    const KeyItem* item = CurrentKey();
    const std::optional<std::string> key = item ? std::optional<std::string>(item->text) : std::nullopt;
    const int64_t chosen = subjectModel_->RowIdAt(lstSubject->currentIndex().row());
    const int keyScroll = lstNameOrAddr->verticalScrollBar()->value();
    const int subjectScroll = lstSubject->verticalScrollBar()->value();
    const ViewMode mode = Mode();
    Guarded(prompter_, [&] {
        const QScopedValueRollback quiet(quiet_, true);
        SQLite::Database& db = session_.Database();
        keyModel_->SetItems(FillKeyList(db, mode));
        ShowEmptyViewHint();
        FillYearMonths(mode);
        const int keyRow = key ? RowOfKey(*key) : -1;
        if (keyRow >= 0) {
            lstNameOrAddr->setCurrentIndex(keyModel_->index(keyRow));
            subjectModel_->SetStream(db, KeyRows(*keyModel_->At(keyRow)));
            ApplySubjectOrder(false);
            FollowYearMonth();
        } else if (!query.isEmpty()) {
            // The result again; the search bar refills through ShowSubjectRows, which keeps the mail.
            searchBar_->SearchAgain(query);
        } else if (key) {
            subjectModel_->Clear(); // the key is gone
        }
        lstNameOrAddr->verticalScrollBar()->setValue(keyScroll);
        subjectModel_->FinishLoading();
        const int line = chosen ? subjectModel_->RowOf(chosen) : -1;
        if (line >= 0)
            lstSubject->setCurrentIndex(subjectModel_->index(line));
        else if (chosen)
            ClearMailDisplay();
        lstSubject->verticalScrollBar()->setValue(subjectScroll);
    });
    if (field && field->text() != typed) {
        const QSignalBlocker quietField(field);
        field->setText(typed);
    }
    ShowYears();
    if (focus && focus != QApplication::focusWidget() && focus->isVisible() && focus->isEnabled())
        focus->setFocus(Qt::MouseFocusReason);
}

void QtMailBrowser::FollowYearMonth() {
    if (Mode() != ViewMode::Date || cmbYearMonth->count() == 0)
        return;
    const KeyItem* item = CurrentKey();
    const int index = item ? cmbYearMonth->findData(Q(item->text).left(7), kMonthRole) : -1;
    if (index >= 0)
        cmbYearMonth->setCurrentIndex(index);
}

void QtMailBrowser::SetUpListConventions(QListView* list) {
    // The chosen line stays marked when the list loses the keyboard or is locked by a read.
    QPalette palette = list->palette();
    for (QPalette::ColorGroup group : {QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
        palette.setColor(group, QPalette::HighlightedText, palette.color(QPalette::Active, QPalette::HighlightedText));
    }
    list->setPalette(palette);
    list->installEventFilter(this);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this,
            [this, list](const QPoint& at) { ShowListMenu(list, at); });
}

void QtMailBrowser::ShowListMenu(QListView* list, const QPoint& at) {
    // The line under the mouse is chosen first; the entries are the window's own actions, so they
    // are on and off as the menus have them (the lock, a backup on display).
    if (lock_.Locked())
        return;
    if (const QModelIndex index = list->indexAt(at); index.isValid() && index != list->currentIndex())
        list->setCurrentIndex(index);
    list->setFocus(Qt::MouseFocusReason); // 削除 deletes what the list the menu came from holds
    QMenu menu(this);
    menu.setObjectName(list == lstSubject ? "mnuSubjectLine" : "mnuKeyLine");
    for (const char* name : {"memReply", "memMailExport", "memMailDel", "memCopy"})
        if (auto* action = window()->findChild<QAction*>(name))
            menu.addAction(action);
    menu.exec(list->viewport()->mapToGlobal(at));
}

void QtMailBrowser::FocusKeyList() {
    // The new keys are there to be chosen from the keyboard; none is chosen yet, so the subject list
    // stays empty until the user moves in the list. With any other reason the list would make its
    // first row current on taking the focus, and so list that key's mail at once.
    lstNameOrAddr->setFocus(Qt::MouseFocusReason);
}

void QtMailBrowser::ChooseKey(int row) {
    if (!keyModel_->At(row))
        return;
    QModelIndex index = keyModel_->index(row);
    if (lstNameOrAddr->currentIndex() != index)
        lstNameOrAddr->setCurrentIndex(index); // fills through the current-changed slot
    else
        FillSubjects(row);
}

void QtMailBrowser::FillSubjects(int keyRow) {
    // Dropping the previous list first: a command's lock would otherwise read all of it.
    subjectModel_->Clear();
    searchBar_->Reset();
    QtControlLock::Scope lock(lock_);
    Guarded(prompter_, [&] {
        ClearMailDisplay();
        lblRecCount->setText(Q(RecCountText(0)));
        const KeyItem* item = keyModel_->At(keyRow);
        if (!item)
            return;
        subjectModel_->SetStream(session_.Database(), KeyRows(*item));
        ApplySubjectOrder(false);
    });
    if (Mode() == ViewMode::Address || Mode() == ViewMode::Name)
        ShowYears();
}

std::unique_ptr<SubjectRowSource> QtMailBrowser::KeyRows(const KeyItem& item) const {
    SQLite::Database& db = session_.Database();
    const ViewMode mode = Mode();
    if (mode == ViewMode::Filter)
        return std::make_unique<SubjectRowStream>(db, item.filterNo);
    return std::make_unique<SubjectRowStream>(db, mode, item.text, month_);
}

int QtMailBrowser::RowOfKey(const std::string& text) const {
    for (int i = 0; i < keyModel_->rowCount(); ++i)
        if (keyModel_->At(i)->text == text)
            return i;
    return -1;
}

void QtMailBrowser::ApplySubjectOrder(bool newestFirst) {
    subjectsNewestFirst_ = newestFirst;
    if (chosenNewestFirst_ && *chosenNewestFirst_ != newestFirst) {
        subjectModel_->Reverse();
        subjectsNewestFirst_ = *chosenNewestFirst_;
    }
    ShowSubjectOrder();
    ApplyThreads();
}

void QtMailBrowser::TurnSubjectOrder() {
    chosenNewestFirst_ = !subjectsNewestFirst_;
    const int64_t chosen = subjectModel_->RowIdAt(lstSubject->currentIndex().row());
    subjectModel_->Reverse();
    subjectsNewestFirst_ = *chosenNewestFirst_;
    ShowSubjectOrder();
    if (chosen != 0) // the same mail stays chosen, at its new place
        ChooseSubject(subjectModel_->RowOf(chosen));
}

void QtMailBrowser::ApplyThreads() {
    if (!cmdThreads->isChecked()) {
        subjectModel_->Ungroup();
        return;
    }
    // Grouping needs the whole list: the rest is read first.
    subjectModel_->FinishLoading();
    if (subjectModel_->rowCount() > 0)
        subjectModel_->GroupByConversation(
            ThreadsOfLines(session_.Database(), subjectModel_->Source(), subjectModel_->ListOrder(), lock_));
}

void QtMailBrowser::ToggleThreads() {
    const int64_t chosen = subjectModel_->RowIdAt(lstSubject->currentIndex().row());
    {
        QtControlLock::Scope lock(lock_);
        Guarded(prompter_, [&] { ApplyThreads(); });
    }
    if (chosen != 0) // the same mail stays chosen, at its new place
        ChooseSubject(subjectModel_->RowOf(chosen));
}

void QtMailBrowser::ShowSubjectOrder() {
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

void QtMailBrowser::ShowSubjectRows(const std::function<std::unique_ptr<SubjectRowSource>()>& makeRows) {
    subjectModel_->Clear();
    QtControlLock::Scope lock(lock_);
    Guarded(prompter_, [&] {
        if (!quiet_) // a result refilled in place keeps its mail on display
            ClearMailDisplay();
        lblRecCount->setText(Q(RecCountText(0)));
        month_.clear();
        lstNameOrAddr->clearSelection(); // the list no longer shows a key's mail
        lstNameOrAddr->setCurrentIndex(QModelIndex());
        subjectModel_->SetStream(session_.Database(), makeRows());
        ApplySubjectOrder(true); // search results come newest first
    });
}

void QtMailBrowser::ChooseSubject(int row) {
    if (row < 0 || row >= subjectModel_->rowCount())
        return;
    QModelIndex index = subjectModel_->index(row);
    if (lstSubject->currentIndex() != index)
        lstSubject->setCurrentIndex(index);
    else
        ShowMail(index);
}

void QtMailBrowser::ShowMail(const QModelIndex& current) {
    if (!current.isValid() || quiet_)
        return;
    Guarded(prompter_, [&] {
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

const KeyItem* QtMailBrowser::CurrentKey() const {
    return keyModel_->At(lstNameOrAddr->currentIndex().row());
}

bool QtMailBrowser::KeyListHasFocus() const {
    return lstNameOrAddr->hasFocus();
}

QString QtMailBrowser::ActiveQuery() const {
    return searchBar_->ActiveQuery();
}

void QtMailBrowser::ApplyMailFont(const std::string& name, int32_t size, const std::string& style) {
    txtMail->setFont(MailTextFont(name, size, style));
}

QtMailBrowser::Place QtMailBrowser::CurrentPlace() const {
    Place place;
    place.keyRow = lstNameOrAddr->currentIndex().row();
    if (const KeyItem* item = keyModel_->At(place.keyRow))
        place.key = item->text;
    place.subjectRow = lstSubject->currentIndex().row();
    return place;
}

void QtMailBrowser::RestorePlace(const Place& place) {
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

void QtMailBrowser::SearchAgain(const QString& query, const Place& place) {
    searchBar_->SearchAgain(query);
    subjectModel_->FinishLoading();
    if (const int count = subjectModel_->rowCount(); count > 0 && place.subjectRow >= 0) {
        ChooseSubject(std::min(place.subjectRow, count - 1));
        lstSubject->setFocus(Qt::MouseFocusReason);
    }
}

void QtMailBrowser::CopyChosenText() {
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

void QtMailBrowser::SelectMailText() {
    txtMail->setFocus(Qt::ShortcutFocusReason);
    txtMail->selectAll();
}

void QtMailBrowser::FocusSearch() {
    searchBar_->FocusField();
}

void QtMailBrowser::OpenConversation() {
    conversation_->OpenPage();
}

bool QtMailBrowser::eventFilter(QObject* watched, QEvent* event) {
    // Enter goes on: from a key to its mail lines, from a mail line to its text.
    if ((watched == lstNameOrAddr || watched == lstSubject) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == lstSubject) {
                if (lstSubject->currentIndex().isValid())
                    txtMail->setFocus(Qt::TabFocusReason);
            } else if (subjectModel_->rowCount() > 0) {
                lstSubject->setFocus(Qt::TabFocusReason);
                if (!lstSubject->currentIndex().isValid())
                    ChooseSubject(0);
            }
            return true;
        }
    }
    // The mode label switches the view on a click, or on Space or Enter once Tab chose it.
    bool advance = false;
    if (watched == lblNameOrAddr && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        advance = (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) && !lock_.Locked();
    }
    if (watched == lblNameOrAddr && event->type() == QEvent::MouseButtonRelease)
        advance = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && !lock_.Locked() &&
                  lblNameOrAddr->isEnabled();
    if (advance) {
        AdvanceViewMode();
        FocusKeyList();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool QtMailBrowser::ShowAddressMail(const std::string& address) {
    if (lock_.Locked())
        return false;
    if (Mode() != ViewMode::Address) {
        QtControlLock::Scope lock(lock_);
        session_.AppSettings().displayType = static_cast<int16_t>(ViewMode::Address);
        view_.ShowViewMode();
    }
    // The book and the mail may spell an address in other letter case; the archive's text equality ignores it.
    for (int row = 0; row < keyModel_->rowCount(); ++row)
        if (EqualsNoCase(keyModel_->At(row)->text, address)) {
            lstNameOrAddr->scrollTo(keyModel_->index(row));
            ChooseKey(row);
            lstNameOrAddr->setFocus(Qt::MouseFocusReason);
            return true;
        }
    return false;
}

} // namespace kamo
