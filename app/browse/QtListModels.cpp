#include "browse/QtListModels.h"

#include <QElapsedTimer>
#include <algorithm>

#include "common/Messages.h"
#include "search/Conversations.h"

namespace kamo {

void KeyListModel::SetItems(std::vector<KeyItem> items) {
    beginResetModel();
    items_ = std::move(items);
    endResetModel();
}

const KeyItem* KeyListModel::At(int row) const {
    if (row < 0 || static_cast<size_t>(row) >= items_.size())
        return nullptr;
    return &items_[static_cast<size_t>(row)];
}

int KeyListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

QVariant KeyListModel::data(const QModelIndex& index, int role) const {
    const KeyItem* item = At(index.row());
    if (!item || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    return QString::fromStdString(item->Shown());
}

namespace {
// The first screenful and then some, before the window shows the list.
constexpr size_t kFirstLines = 4096;
constexpr qint64 kSliceMs = 15;
constexpr qint64 kPublishMs = 250;
} // namespace

SubjectListModel::SubjectListModel(QObject* parent) : QAbstractListModel(parent) {
    idle_ = new QTimer(this);
    idle_->setSingleShot(true);
    idle_->setInterval(0);
    connect(idle_, &QTimer::timeout, this, &SubjectListModel::ReadMore);
}

SubjectListModel::~SubjectListModel() = default;

void SubjectListModel::SetStream(SQLite::Database& db, std::unique_ptr<SubjectRowSource> stream) {
    beginResetModel();
    idle_->stop();
    cache_.clear();
    EndGrouping();
    rowIds_.clear();
    unpublished_.clear();
    sincePublish_.start();
    source_ = stream->Source();
    reader_ = std::make_unique<SubjectLineReader>(db, source_);
    stream_ = std::move(stream);
    if (!stream_->Read(rowIds_, kFirstLines))
        stream_.reset();
    endResetModel();
    emit CountChanged(static_cast<qsizetype>(rowIds_.size()), !stream_);
    if (stream_)
        idle_->start();
}

void SubjectListModel::Clear() {
    beginResetModel();
    idle_->stop();
    cache_.clear();
    stream_.reset();
    reader_.reset();
    EndGrouping();
    unpublished_.clear();
    rowIds_.clear();
    rowIds_.shrink_to_fit();
    endResetModel();
}

bool SubjectListModel::ReadSlice(qint64 budgetMs) {
    if (!stream_)
        return false;
    QElapsedTimer timer;
    timer.start();
    bool moreToCome = true;
    try {
        while (moreToCome && (budgetMs < 0 || timer.elapsed() < budgetMs))
            moreToCome = stream_->Read(unpublished_, 8192);
    } catch (const std::exception& e) {
        moreToCome = false;
        emit LoadFailed(QString::fromStdString(ErrorText(e)));
    }
    if (!moreToCome)
        stream_.reset();
    // Every insertion lays the whole view out again: hand lines to the view a few times a second,
    // not after every slice.
    if (!moreToCome || !sincePublish_.isValid() || sincePublish_.elapsed() >= kPublishMs)
        Publish();
    return moreToCome;
}

void SubjectListModel::Publish() {
    sincePublish_.start();
    if (!unpublished_.empty()) {
        size_t before = rowIds_.size();
        beginInsertRows({}, static_cast<int>(before), static_cast<int>(before + unpublished_.size() - 1));
        rowIds_.insert(rowIds_.end(), unpublished_.begin(), unpublished_.end());
        endInsertRows();
        unpublished_.clear();
    }
    emit CountChanged(static_cast<qsizetype>(rowIds_.size()), !stream_);
}

void SubjectListModel::ReadMore() {
    if (ReadSlice(kSliceMs))
        idle_->start();
}

void SubjectListModel::FinishLoading() {
    idle_->stop();
    ReadSlice(-1);
}

void SubjectListModel::Reverse() {
    FinishLoading();
    beginResetModel();
    if (grouped_) {
        std::reverse(listOrder_.begin(), listOrder_.end());
        std::reverse(threads_.begin(), threads_.end());
        Arrange();
    } else {
        std::reverse(rowIds_.begin(), rowIds_.end());
    }
    cache_.clear();
    endResetModel();
}

void SubjectListModel::GroupByConversation(std::vector<std::string> threadOfLine) {
    beginResetModel();
    if (!grouped_)
        listOrder_ = rowIds_;
    grouped_ = true;
    threads_ = std::move(threadOfLine);
    threads_.resize(listOrder_.size()); // a line without a name stands alone
    Arrange();
    cache_.clear();
    endResetModel();
}

void SubjectListModel::Ungroup() {
    if (!grouped_)
        return;
    beginResetModel();
    rowIds_ = std::move(listOrder_);
    EndGrouping();
    cache_.clear();
    endResetModel();
}

void SubjectListModel::Arrange() {
    const std::vector<ThreadedLine> order = ThreadedOrder(threads_);
    rowIds_.clear();
    replies_.clear();
    for (const ThreadedLine& line : order) {
        rowIds_.push_back(listOrder_[line.line]);
        replies_.push_back(line.depth > 0);
    }
}

void SubjectListModel::EndGrouping() {
    grouped_ = false;
    listOrder_.clear();
    threads_.clear();
    replies_.clear();
}

int SubjectListModel::RowOf(int64_t rowId) const {
    const auto at = std::find(rowIds_.begin(), rowIds_.end(), rowId);
    return at == rowIds_.end() ? -1 : static_cast<int>(at - rowIds_.begin());
}

std::optional<SubjectLine> SubjectListModel::Line(int row) const {
    if (!reader_ || row < 0 || static_cast<size_t>(row) >= rowIds_.size())
        return std::nullopt;
    if (auto it = cache_.find(row); it != cache_.end())
        return it->second;
    try {
        SubjectLine line = reader_->Read(rowIds_[static_cast<size_t>(row)]);
        if (static_cast<size_t>(row) < replies_.size() && replies_[static_cast<size_t>(row)])
            line.text = ReplySubjectLine(line.key, line.subject);
        // A screenful or two is all a view asks for at once; a small cache is enough.
        if (cache_.size() >= 2048)
            cache_.clear();
        cache_.emplace(row, line);
        return line;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

int SubjectListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rowIds_.size());
}

QVariant SubjectListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    auto line = Line(index.row());
    if (!line)
        return {};
    return QString::fromStdString(line->text);
}

QModelIndexList SubjectListModel::match(const QModelIndex&, int, const QVariant&, int, Qt::MatchFlags) const {
    return {};
}

} // namespace kamo
