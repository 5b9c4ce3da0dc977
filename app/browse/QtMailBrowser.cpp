#include "browse/QtMailBrowser.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>

#include "browse/KeyLists.h"
#include "browse/MonthCounts.h"
#include "browse/QtAttachmentList.h"
#include "browse/QtControlLock.h"
#include "browse/QtKeyPane.h"
#include "browse/QtLayoutSizes.h"
#include "browse/QtListConventions.h"
#include "browse/QtListModels.h"
#include "browse/QtMailPictures.h"
#include "browse/QtReadingPane.h"
#include "browse/QtSearchBar.h"
#include "browse/QtSubjectPane.h"
#include "browse/QtYearMonthChooser.h"
#include "browse/QtYearsPicture.h"
#include "browse/SubjectCursor.h"
#include "common/ArchiveView.h"
#include "common/AsciiText.h"
#include "common/Guarded.h"
#include "common/Prompter.h"
#include "common/Settings.h"
#include "db/ArchiveSession.h"
#include "db/MailRows.h"
#include "platform/Folders.h"

namespace kamo {
namespace {

QString U(const char* s) {
    return QString::fromUtf8(s);
}

} // namespace

QtMailBrowser::QtMailBrowser(ArchiveSession& session, Prompter& prompter, QtControlLock& lock, ArchiveView& view,
                             QWidget* parent)
    : QWidget(parent), session_(session), prompter_(prompter), lock_(lock), view_(view) {
    BuildLayout();
    RegisterControls();
}

void QtMailBrowser::BuildLayout() {
    lblNameOrAddr = new QLabel(this);
    lblNameOrAddr->setObjectName("lblNameOrAddr");
    lblNameOrAddr->setFrameStyle(QFrame::Panel | QFrame::Raised);
    lblNameOrAddr->setAlignment(Qt::AlignCenter);
    lblNameOrAddr->setMinimumWidth(180);
    lblNameOrAddr->setCursor(Qt::PointingHandCursor);
    lblNameOrAddr->setToolTip(U("クリックすると表示を切り替えます（F5、Tab で選んで Space でも）"));
    lblNameOrAddr->setFocusPolicy(Qt::StrongFocus); // reachable with Tab
    lblNameOrAddr->installEventFilter(this);

    keys_ = new QtKeyPane(this);
    connect(keys_, &QtKeyPane::KeyChosen, this, [this](int row) {
        if (quiet_)
            return;
        month_.clear(); // another key: all of its mail
        FillSubjects(row);
        FollowYearMonth();
    });
    connect(keys_->Chooser(), &QComboBox::activated, this, &QtMailBrowser::ChooseYearMonth);
    connect(keys_->Chooser(), &QtYearMonthChooser::CountsWanted, this, [this] {
        if (Mode() == ViewMode::Date)
            keys_->Chooser()->SetCounts(CountMailByMonth(session_.Database()));
    });
    reading_ = new QtReadingPane(prompter_, lock_, this);
    subjects_ = new QtSubjectPane(
        session_, prompter_, lock_, view_, [this](const auto& makeRows) { ShowSubjectRows(makeRows); }, this);
    connect(subjects_, &QtSubjectPane::LineChosen, this, &QtMailBrowser::ShowMail);
    // Enter goes on to the next pane (eventFilter); a right-click offers the window's commands.
    const auto locked = [this] { return lock_.Locked(); };
    keys_->List()->installEventFilter(this);
    OfferLineMenu(keys_->List(), "mnuKeyLine", this, locked);
    subjects_->List()->installEventFilter(this);
    OfferLineMenu(subjects_->List(), "mnuSubjectLine", this, locked);

    auto* right = new QSplitter(Qt::Vertical, this);
    splRight_ = right;
    right->setObjectName("splRight");
    right->addWidget(subjects_);
    right->addWidget(reading_);
    // The mail takes most of what the window gains.
    right->setStretchFactor(0, 1);
    right->setStretchFactor(1, 3);
    right->setSizes({170, 330});
    right->setChildrenCollapsible(false);

    auto* split = new QSplitter(Qt::Horizontal, this);
    splMain_ = split;
    split->setObjectName("splMain");
    split->addWidget(keys_);
    split->addWidget(right);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 3);
    split->setSizes({210, 570}); // room for a whole mail address at the design size
    split->setChildrenCollapsible(false);

    // The years at a glance, across the window under the lists; shown from the view menu.
    picYears = new QtYearsPicture(prompter_, this);
    connect(picYears, &QtMonthChart::MonthChosen, this, &QtMailBrowser::ChooseMonth);

    // Mode label and counts on top, keys left, subjects over the mail right, the years under them.
    topRow_ = new QHBoxLayout;
    topRow_->addWidget(lblNameOrAddr);
    topRow_->addSpacing(12);
    topRow_->addWidget(subjects_->CountLabel());
    topRow_->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(topRow_);
    layout->addWidget(split, 1);
    layout->addWidget(picYears);
}

void QtMailBrowser::RegisterControls() {
    QtCommandRegistry& registry = lock_.Registry();
    // A command's lock switches the pictures off; the text stays readable.
    registry.AddLockable(reading_->Pictures()->PictureColumn());
    for (QObject* control : std::initializer_list<QObject*>{lblNameOrAddr, keys_->Chooser(), keys_->List(),
                                                            subjects_->List(), reading_->Attachments(), picYears})
        registry.AddLockable(control);
    registry.AddCommand(subjects_->OrderHeading());
    registry.AddCommand(subjects_->ThreadsButton());
    // What the user types goes on into the field while a read runs beside them; Enter waits for it.
    QtSearchBar* searchBar = &subjects_->SearchBar();
    registry.AddTypingField(searchBar);
    searchBar->SetHeld([this] { return lock_.Locked(); });
}

QList<QWidget*> QtMailBrowser::TabChain() const {
    // Tab walks the window as it reads: mode, keys, search, mail lines, the mail and its attachments.
    QList<QWidget*> chain{lblNameOrAddr, keys_->Chooser(), keys_->List()};
    if (auto* field = subjects_->SearchBar().findChild<QWidget*>("txtSearch"))
        chain << field;
    chain << subjects_->List() << reading_->Text();
    for (QWidget* w : reading_->Attachments()->findChildren<QWidget*>())
        if (w->focusPolicy() & Qt::TabFocus)
            chain << w;
    return chain;
}

ViewMode QtMailBrowser::Mode() const {
    return ViewModeOf(session_.AppSettings().displayType);
}

void QtMailBrowser::Clear() {
    reading_->Clear();
    reading_->Forget();
    subjects_->Clear();
    keys_->Clear();
}

void QtMailBrowser::FinishLoading() {
    subjects_->Model().FinishLoading();
}

void QtMailBrowser::ShowViewMode() {
    subjects_->SearchBar().Reset();
    month_.clear();
    reading_->Clear();
    subjects_->Clear();
    subjects_->ClearCount();
    const ViewMode mode = Mode();
    lblNameOrAddr->setText(U(TextsOf(mode).label));
    keys_->Clear();
    keys_->SetKeys(FillKeyList(session_.Database(), mode));
    ShowEmptyViewHint();
    keys_->ShowMonths(mode);
    if (!keepYears_)
        ShowYears();
}

void QtMailBrowser::ShowYears() {
    // A key of the address or name view: its mail, the story of one friendship; otherwise all of it.
    const ViewMode mode = Mode();
    const KeyItem* key = mode == ViewMode::Address || mode == ViewMode::Name ? keys_->Current() : nullptr;
    picYears->Count(session_.Database(), mode, key, KeyMonth());
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
    subjects_->SetThreaded(settings.threadedLines);
}

void QtMailBrowser::SaveLayout(Settings& settings) const {
    settings.showYears = YearsPictureShown();
    settings.threadedLines = subjects_->Threaded();
    settings.keySplit = SizesText(splMain_->sizes());
    settings.mailSplit = SizesText(splRight_->sizes());
}

void QtMailBrowser::ChooseMonth(const QString& month) {
    if (lock_.Locked())
        return;
    const ViewMode mode = Mode();
    const int key = keys_->CurrentRow();
    if ((mode != ViewMode::Address && mode != ViewMode::Name) || key < 0) {
        ShowMonthInDateView(month);
        return;
    }
    // The friendship's month: the key's list narrowed to it; the marked month again widens it.
    month_ = month == KeyMonth() ? std::string() : month.toStdString();
    FillSubjects(key);
}

void QtMailBrowser::ChooseYearMonth(int index) {
    const int row = keys_->Chooser()->FirstRowAt(index);
    if (!keys_->At(row))
        return;
    keys_->List()->scrollTo(keys_->List()->model()->index(row, 0), QAbstractItemView::PositionAtTop);
    ChooseKey(row);
    keys_->List()->setFocus(Qt::MouseFocusReason);
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
    const int index = keys_->Chooser()->IndexOfMonth(month);
    if (index < 0)
        return;
    keys_->Chooser()->setCurrentIndex(index);
    ChooseYearMonth(index);
}

void QtMailBrowser::ShowEmptyViewHint() {
    // An empty view says what fills it: shown in the mail pane while no mail is on display.
    QString hint;
    if (keys_->Count() == 0 && !session_.ViewingBackup()) {
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
    } else if (keys_->Count() > 0) {
        hint = U("左の一覧から選ぶと、そのメールが右上に並びます。");
    }
    reading_->SetHint(hint);
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
    if (const int row = key.empty() ? -1 : keys_->RowOf(key); row >= 0) {
        keys_->List()->scrollTo(keys_->List()->model()->index(row, 0), QAbstractItemView::PositionAtCenter);
        ChooseKey(row);
    }
}

void QtMailBrowser::ShowNewMail() {
    QPointer<QWidget> focus = QApplication::focusWidget();
    QtSearchBar& searchBar = subjects_->SearchBar();
    auto* field = searchBar.findChild<QLineEdit*>("txtSearch");
    const QString typed = field ? field->text() : QString();
    const QString query = searchBar.ActiveQuery();
    const KeyItem* item = CurrentKey();
    const std::optional<std::string> key = item ? std::optional<std::string>(item->text) : std::nullopt;
    const int64_t chosen = subjects_->ChosenRowId();
    QListView* keyList = keys_->List();
    QListView* subjectList = subjects_->List();
    SubjectListModel& lines = subjects_->Model();
    const int keyScroll = keyList->verticalScrollBar()->value();
    const int subjectScroll = subjectList->verticalScrollBar()->value();
    const ViewMode mode = Mode();
    Guarded(prompter_, [&] {
        const QScopedValueRollback quiet(quiet_, true);
        keys_->SetKeys(FillKeyList(session_.Database(), mode));
        ShowEmptyViewHint();
        keys_->ShowMonths(mode);
        const int keyRow = key ? keys_->RowOf(*key) : -1;
        if (keyRow >= 0) {
            keyList->setCurrentIndex(keyList->model()->index(keyRow, 0));
            subjects_->SetRows(KeyRows(*keys_->At(keyRow)), false);
            FollowYearMonth();
        } else if (!query.isEmpty()) {
            // The result again; the search bar refills through ShowSubjectRows, which keeps the mail.
            searchBar.SearchAgain(query);
        } else if (key) {
            subjects_->Clear(); // the key is gone
        }
        keyList->verticalScrollBar()->setValue(keyScroll);
        lines.FinishLoading();
        const int line = chosen ? lines.RowOf(chosen) : -1;
        if (line >= 0)
            subjectList->setCurrentIndex(lines.index(line));
        else if (chosen)
            reading_->Clear();
        subjectList->verticalScrollBar()->setValue(subjectScroll);
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
    if (Mode() != ViewMode::Date)
        return;
    if (const KeyItem* item = CurrentKey())
        keys_->Chooser()->Follow(item->text);
}

void QtMailBrowser::FocusKeyList() {
    // The new keys are there to be chosen from the keyboard; none is chosen yet, so the subject list
    // stays empty until the user moves in the list. With any other reason the list would make its
    // first row current on taking the focus, and so list that key's mail at once.
    keys_->List()->setFocus(Qt::MouseFocusReason);
}

void QtMailBrowser::ChooseKey(int row) {
    if (!keys_->At(row))
        return;
    QListView* list = keys_->List();
    const QModelIndex index = list->model()->index(row, 0);
    if (list->currentIndex() != index)
        list->setCurrentIndex(index); // fills through KeyChosen
    else
        FillSubjects(row);
}

void QtMailBrowser::FillSubjects(int keyRow) {
    // Dropping the previous list first: a command's lock would otherwise read all of it.
    subjects_->Clear();
    subjects_->SearchBar().Reset();
    QtControlLock::Scope lock(lock_);
    Guarded(prompter_, [&] {
        reading_->Clear();
        subjects_->ZeroCount();
        const KeyItem* item = keys_->At(keyRow);
        if (!item)
            return;
        subjects_->SetRows(KeyRows(*item), false);
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

void QtMailBrowser::ShowSubjectRows(const std::function<std::unique_ptr<SubjectRowSource>()>& makeRows) {
    subjects_->Clear();
    QtControlLock::Scope lock(lock_);
    Guarded(prompter_, [&] {
        if (!quiet_) // a result refilled in place keeps its mail on display
            reading_->Clear();
        subjects_->ZeroCount();
        month_.clear();
        keys_->List()->clearSelection(); // the list no longer shows a key's mail
        keys_->List()->setCurrentIndex(QModelIndex());
        subjects_->SetRows(makeRows(), true); // search results come newest first
    });
}

void QtMailBrowser::ChooseSubject(int row) {
    subjects_->Choose(row);
}

void QtMailBrowser::ShowMail(int row) {
    if (quiet_)
        return;
    Guarded(prompter_, [&] {
        reading_->Clear();
        const auto line = subjects_->Model().Line(row);
        reading_->ShowMail(session_.Database(), line ? std::optional<MailKey>(line->key) : std::nullopt);
    });
}

std::optional<MailRecord> QtMailBrowser::CurrentMail() const {
    return reading_->CurrentMail();
}

const KeyItem* QtMailBrowser::CurrentKey() const {
    return keys_->Current();
}

bool QtMailBrowser::KeyListHasFocus() const {
    return keys_->List()->hasFocus();
}

QString QtMailBrowser::ActiveQuery() const {
    return subjects_->SearchBar().ActiveQuery();
}

void QtMailBrowser::ApplyMailFont(const std::string& name, int32_t size, const std::string& style) {
    reading_->ApplyMailFont(name, size, style);
}

QtMailBrowser::Place QtMailBrowser::CurrentPlace() const {
    Place place;
    place.keyRow = keys_->CurrentRow();
    if (const KeyItem* item = keys_->At(place.keyRow))
        place.key = item->text;
    place.subjectRow = subjects_->List()->currentIndex().row();
    return place;
}

void QtMailBrowser::RestorePlace(const Place& place) {
    // The same key when it is still there, else the one that took its row; the mail that now sits
    // where the deleted one was.
    int row = keys_->RowOf(place.key);
    if (row < 0)
        row = std::min(place.keyRow, keys_->Count() - 1);
    if (row < 0)
        return;
    ChooseKey(row);
    subjects_->Model().FinishLoading();
    const int count = subjects_->Model().rowCount();
    if (count > 0 && place.subjectRow >= 0)
        ChooseSubject(std::min(place.subjectRow, count - 1));
}

void QtMailBrowser::SearchAgain(const QString& query, const Place& place) {
    subjects_->SearchBar().SearchAgain(query);
    subjects_->Model().FinishLoading();
    if (const int count = subjects_->Model().rowCount(); count > 0 && place.subjectRow >= 0) {
        ChooseSubject(std::min(place.subjectRow, count - 1));
        subjects_->List()->setFocus(Qt::MouseFocusReason);
    }
}

void QtMailBrowser::CopyChosenText() {
    QWidget* focus = QApplication::focusWidget();
    QString text;
    if (focus == subjects_->List() || focus == keys_->List())
        text = static_cast<QListView*>(focus)->currentIndex().data().toString();
    else
        text = reading_->ChosenText(focus);
    if (text.isEmpty()) // nothing chosen: the whole mail on display
        text = reading_->WholeText();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void QtMailBrowser::SelectMailText() {
    reading_->SelectAll();
}

void QtMailBrowser::FocusSearch() {
    subjects_->SearchBar().FocusField();
}

void QtMailBrowser::OpenConversation() {
    reading_->OpenConversation();
}

bool QtMailBrowser::eventFilter(QObject* watched, QEvent* event) {
    // Enter goes on: from a key to its mail lines, from a mail line to its text.
    QListView* keyList = keys_ ? keys_->List() : nullptr;
    QListView* subjectList = subjects_ ? subjects_->List() : nullptr;
    if ((watched == keyList || watched == subjectList) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == subjectList) {
                if (subjectList->currentIndex().isValid())
                    reading_->Text()->setFocus(Qt::TabFocusReason);
            } else if (subjects_->Model().rowCount() > 0) {
                subjectList->setFocus(Qt::TabFocusReason);
                if (!subjectList->currentIndex().isValid())
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
    for (int row = 0; row < keys_->Count(); ++row)
        if (EqualsNoCase(keys_->At(row)->text, address)) {
            keys_->List()->scrollTo(keys_->List()->model()->index(row, 0));
            ChooseKey(row);
            keys_->List()->setFocus(Qt::MouseFocusReason);
            return true;
        }
    return false;
}

} // namespace kamo
