#include "filters/frmFilter.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

#include "common/Messages.h"
#include "common/MessagesBrowse.h"
#include "filters/frmFilterOrder.h"

namespace kamo {
namespace {

QString U(const char* text) {
    return QString::fromUtf8(text);
}
QString U(const std::string& text) {
    return QString::fromStdString(text);
}

const char* const kTermsCaptions[6] = {
    "（０） Ｓｕｂｊｅｃｔ と 完全に一致",         "（１） Ｓｕｂｊｅｃｔ に 含まれる",
    "（２） 送受信アドレスのどちらかと完全に一致", "（３） 送受信アドレスのどちらかに含まれる",
    "（４） 送受信者名がどちらかと完全に一致",     "（5） 送受信者名に含まれる",
};
const char* const kActCaptions[2] = {"（０）振り分ける", "（１）メールを読み込まない"};
const char* const kGridHeadings[4] = {"表示タイトル", "ルール", "アクション", "フィルター条件"};

constexpr const char* kMsgSaveFailed = "フィルターを保存できませんでした。";

// Option buttons of one array are exclusive, yet the editor must be able to clear them all.
void ClearButtons(auto& buttons) {
    for (QRadioButton* b : buttons) {
        b->setAutoExclusive(false);
        b->setChecked(false);
        b->setAutoExclusive(true);
    }
}

template <size_t N> int CheckedIndex(const std::array<QRadioButton*, N>& buttons) {
    for (size_t i = 0; i < N; ++i)
        if (buttons[i]->isChecked())
            return static_cast<int>(i);
    return -1;
}

} // namespace

frmFilter::frmFilter(SQLite::Database& db, FilterTables& tables, Prompter& prompter, QWidget* parent)
    : QDialog(parent), db_(db), tables_(tables), prompter_(prompter) {
    setObjectName("frmFilter");
    setWindowTitle(U("フィルター設定"));
    setModal(true);
    BuildControls();
    Load();
}

void frmFilter::BuildControls() {
    auto* headerLabel = new QLabel(U("表示タイトル"), this);
    txtFilterHeader = new QLineEdit(this);
    txtFilterHeader->setObjectName("txtFilterHeader");
    txtFilterHeader->setAttribute(Qt::WA_InputMethodEnabled, true);
    headerLabel->setBuddy(txtFilterHeader);

    auto* termsLabel = new QLabel(U("フィルター条件"), this);
    txtTerms = new QLineEdit(this);
    txtTerms->setObjectName("txtTerms");
    txtTerms->setAttribute(Qt::WA_InputMethodEnabled, true);
    termsLabel->setBuddy(txtTerms);

    auto* fraJoken = new QGroupBox(U("条　件"), this);
    fraJoken->setObjectName("fraJoken");
    auto* fraRule = new QGroupBox(U("ルール"), fraJoken);
    fraRule->setObjectName("fraRule");
    auto* ruleLayout = new QVBoxLayout(fraRule);
    for (size_t i = 0; i < optTerms.size(); ++i) {
        optTerms[i] = new QRadioButton(U(kTermsCaptions[i]), fraRule);
        optTerms[i]->setObjectName(QString("optTerms_%1").arg(i));
        ruleLayout->addWidget(optTerms[i]);
    }
    auto* fraAct = new QGroupBox(U("アクション"), fraJoken);
    fraAct->setObjectName("fraAct");
    auto* actLayout = new QVBoxLayout(fraAct);
    for (size_t i = 0; i < optAct.size(); ++i) {
        optAct[i] = new QRadioButton(U(kActCaptions[i]), fraAct);
        optAct[i]->setObjectName(QString("optAct_%1").arg(i));
        actLayout->addWidget(optAct[i]);
    }
    actLayout->addStretch();
    auto* jokenLayout = new QHBoxLayout(fraJoken);
    jokenLayout->addWidget(fraRule, 3);
    jokenLayout->addWidget(fraAct, 2);

    grdFilter = new QTableWidget(0, 4, this);
    grdFilter->setObjectName("grdFilter");
    grdFilter->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdFilter->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdFilter->setSelectionMode(QAbstractItemView::SingleSelection);
    grdFilter->setTabKeyNavigation(false); // Tab leaves the grid for the next control
    grdFilter->verticalHeader()->setVisible(false);
    grdFilter->horizontalHeader()->setStretchLastSection(false);
    grdFilter->setMinimumWidth(kFilterGridWidths[0] + kFilterGridWidths[1] + kFilterGridWidths[2] +
                               kFilterGridWidths[3] + 24);

    auto makeButton = [this](const char* name, const char* caption) {
        auto* b = new QPushButton(U(caption), this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    comAdd = makeButton("comAdd", "追　加");
    comUp = makeButton("comUp", "変　更");
    comDel = makeButton("comDel", "削　除");
    cmdDspChenge = makeButton("cmdDspChenge", "表示順変更");
    cmdDspChenge->setToolTip(U("ﾌｨﾙﾀｰ表示の順番を変更します"));
    comOk = makeButton("comOk", "Ｏ　Ｋ");
    comCancel = makeButton("comCancel", "キャンセル");

    auto* edit = new QGridLayout;
    edit->addWidget(headerLabel, 0, 0);
    edit->addWidget(txtFilterHeader, 0, 1);
    edit->addWidget(termsLabel, 1, 0);
    edit->addWidget(txtTerms, 1, 1);

    auto* editButtons = new QHBoxLayout;
    editButtons->addWidget(comAdd);
    editButtons->addWidget(comUp);
    editButtons->addWidget(comDel);
    editButtons->addStretch();
    editButtons->addWidget(cmdDspChenge);

    auto* closeButtons = new QHBoxLayout;
    closeButtons->addStretch();
    closeButtons->addWidget(comOk);
    closeButtons->addWidget(comCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(edit);
    layout->addWidget(fraJoken);
    layout->addLayout(editButtons);
    layout->addWidget(grdFilter, 1);
    // The list shows rule and action as their numbers; what each number means, read at a glance
    // (and in full as the cell's tool tip).
    auto* lblFilterKey = new QLabel(
        U("ルール：0 件名と一致　1 件名に含む　2 アドレスと一致　3 アドレスに含む　4 名前と一致　5 名前に含む\n"
          "アクション：0 振り分ける　1 メールを読み込まない"),
        this);
    lblFilterKey->setObjectName("lblFilterKey");
    lblFilterKey->setWordWrap(true);
    layout->addWidget(lblFilterKey);
    layout->addLayout(closeButtons);

    connect(grdFilter, &QTableWidget::cellClicked, this, &frmFilter::OnGrdFilterClicked);
    // Moving through the rows with the keyboard loads them as a click does.
    connect(grdFilter, &QTableWidget::currentCellChanged, this, [this](int row, int column) {
        if (row >= 0 && grdFilter->hasFocus())
            OnGrdFilterClicked(row, column);
    });
    connect(grdFilter->horizontalHeader(), &QHeaderView::sectionClicked, this, [this] { selectedRow_ = 0; });
    connect(comAdd, &QPushButton::clicked, this, &frmFilter::OnComAdd);
    connect(comUp, &QPushButton::clicked, this, &frmFilter::OnComUp);
    connect(comDel, &QPushButton::clicked, this, &frmFilter::OnComDel);
    connect(cmdDspChenge, &QPushButton::clicked, this, &frmFilter::OnCmdDspChenge);
    connect(comOk, &QPushButton::clicked, this, &frmFilter::OnComOk);
    connect(comCancel, &QPushButton::clicked, this, &frmFilter::OnComCancel);
}

void frmFilter::Load() {
    resize(sizeHint());
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    grdFilter->setRowCount(0);
    for (int c = 0; c < 4; ++c)
        grdFilter->setColumnWidth(c, kFilterGridWidths[static_cast<size_t>(c)]);
    grdFilter->setHorizontalHeaderLabels(
        {U(kGridHeadings[0]), U(kGridHeadings[1]), U(kGridHeadings[2]), U(kGridHeadings[3])});
    EditAreaClear();
    LoadFilters(db_, tables_, wait_);
    if (tables_.count >= 1)
        FilterGridFill();
    selectedRow_ = 0;
}

void frmFilter::FilterGridFill() {
    grdFilter->clearContents();
    for (int c = 0; c < 4; ++c)
        grdFilter->setColumnWidth(c, kFilterGridWidths[static_cast<size_t>(c)]);
    grdFilter->setHorizontalHeaderLabels(
        {U(kGridHeadings[0]), U(kGridHeadings[1]), U(kGridHeadings[2]), U(kGridHeadings[3])});
    grdFilter->setRowCount(tables_.count);
    for (int r = 0; r < tables_.count; ++r)
        SetGridRow(r, tables_.filters[static_cast<size_t>(r)]);
}

void frmFilter::SetGridRow(int row, const FilterEntry& entry) {
    const bool blank = entry.IsEmptySlot();
    const QString cells[4] = {blank ? QString() : U(entry.header), blank ? QString() : QString::number(entry.termsCode),
                              blank ? QString() : QString::number(entry.actionCode), blank ? QString() : U(entry.data)};
    for (int c = 0; c < 4; ++c) {
        QTableWidgetItem* item = grdFilter->item(row, c);
        if (!item) {
            item = new QTableWidgetItem;
            grdFilter->setItem(row, c, item);
        }
        item->setText(cells[c]);
        // The number columns: centred, their caption as the tool tip.
        if (c == 1 || c == 2) {
            item->setTextAlignment(Qt::AlignCenter);
            const int code = c == 1 ? entry.termsCode : entry.actionCode;
            const bool known = !blank && code >= 0 && code < (c == 1 ? 6 : 2);
            item->setToolTip(known ? U(c == 1 ? kTermsCaptions[code] : kActCaptions[code]) : QString());
        } else {
            item->setToolTip(cells[c]);
        }
    }
}

void frmFilter::EditAreaClear() {
    txtFilterHeader->clear();
    txtTerms->clear();
    ClearButtons(optTerms);
    ClearButtons(optAct);
}

EditArea frmFilter::ReadEditArea() const {
    return EditArea{txtFilterHeader->text().toStdString(), txtTerms->text().toStdString(), CheckedIndex(optTerms),
                    CheckedIndex(optAct)};
}

int16_t frmFilter::EditAreaChack() {
    const EditAreaCheck check = kamo::EditAreaChack(ReadEditArea());
    if (!check.message.empty())
        prompter_.Message(check.message);
    if (check.clearHeader)
        txtFilterHeader->clear();
    if (check.clearTerms)
        txtTerms->clear();
    if (check.focus == EditAreaCheck::Focus::Header)
        txtFilterHeader->setFocus();
    else if (check.focus == EditAreaCheck::Focus::Terms)
        txtTerms->setFocus();
    return check.result;
}

void frmFilter::OnGrdFilterClicked(int row, int) {
    selectedRow_ = row + 1;
    if (row < 0 || row >= tables_.count)
        return;
    const FilterEntry& entry = tables_.filters[static_cast<size_t>(row)];
    EditAreaClear();
    if (entry.IsEmptySlot())
        return; // a deleted filter's blank row: nothing to copy
    txtFilterHeader->setText(U(entry.header));
    if (entry.termsCode >= 0 && entry.termsCode < static_cast<int>(optTerms.size()))
        optTerms[static_cast<size_t>(entry.termsCode)]->setChecked(true);
    if (entry.actionCode >= 0 && entry.actionCode < static_cast<int>(optAct.size()))
        optAct[static_cast<size_t>(entry.actionCode)]->setChecked(true);
    txtTerms->setText(U(entry.data));
}

void frmFilter::OnComAdd() {
    if (EditAreaChack() != 0)
        return;
    if (!AddFilter(tables_, ReadEditArea())) {
        std::string text = Say(BrowseText::FilterTableFull);
        for (int i = 0; i < tables_.count; ++i)
            if (tables_.filters[static_cast<size_t>(i)].IsEmptySlot()) {
                text += "\n";
                text += Say(BrowseText::FilterTableFullDeleted);
                break;
            }
        prompter_.Message(text);
        return;
    }
    grdFilter->setRowCount(tables_.count);
    SetGridRow(tables_.count - 1, tables_.filters[static_cast<size_t>(tables_.count - 1)]);
    EditAreaClear();
}

void frmFilter::OnComUp() {
    if (selectedRow_ < 1 || EditAreaChack() != 0)
        return;
    const int slot = selectedRow_ - 1;
    if (!UpdateFilter(tables_, slot, ReadEditArea()))
        return;
    SetGridRow(slot, tables_.filters[static_cast<size_t>(slot)]);
    EditAreaClear();
}

void frmFilter::OnComDel() {
    if (selectedRow_ < 1)
        return;
    const int slot = selectedRow_ - 1;
    if (slot >= tables_.count || tables_.filters[static_cast<size_t>(slot)].IsEmptySlot())
        return;
    if (!prompter_.AskYesNo("フィルター「" + tables_.filters[static_cast<size_t>(slot)].header +
                            "」を削除します。\n"
                            "     よろしいでしょうか？"))
        return;
    if (!DeleteFilter(tables_, slot))
        return;
    SetGridRow(slot, tables_.filters[static_cast<size_t>(slot)]);
    EditAreaClear();
}

void frmFilter::OnCmdDspChenge() {
    if (!SaveFilters(db_, tables_, wait_)) {
        prompter_.Error(kMsgSaveFailed);
        return;
    }
    {
        frmFilterOrder order(db_, tables_, prompter_, this);
        if (orderRunner_)
            orderRunner_(order);
        else
            order.exec();
    }
    FilterGridFill();
    EditAreaClear();
    selectedRow_ = 0;
}

void frmFilter::OnComOk() {
    closing_ = true;
    accept();
}

void frmFilter::OnComCancel() {
    tables_.cancelFlag = true;
    LoadFilters(db_, tables_, wait_);
    closing_ = true;
    QDialog::reject();
}

void frmFilter::reject() {
    if (closing_)
        QDialog::reject();
    else
        OnComCancel();
}

} // namespace kamo
