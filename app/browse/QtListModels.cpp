#include "browse/QtListModels.h"

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
    return QString::fromStdString(item->text);
}

SubjectListModel::~SubjectListModel() = default;

void SubjectListModel::SetRows(SQLite::Database& db, SubjectRows rows) {
    beginResetModel();
    cache_.clear();
    reader_ = std::make_unique<SubjectLineReader>(db, rows.source);
    rows_ = std::move(rows);
    endResetModel();
}

void SubjectListModel::Clear() {
    beginResetModel();
    cache_.clear();
    reader_.reset();
    rows_ = {};
    endResetModel();
}

std::optional<SubjectLine> SubjectListModel::Line(int row) const {
    if (!reader_ || row < 0 || static_cast<size_t>(row) >= rows_.rowIds.size())
        return std::nullopt;
    if (auto it = cache_.find(row); it != cache_.end())
        return it->second;
    try {
        SubjectLine line = reader_->Read(rows_.rowIds[static_cast<size_t>(row)]);
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
    return parent.isValid() ? 0 : static_cast<int>(rows_.rowIds.size());
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
