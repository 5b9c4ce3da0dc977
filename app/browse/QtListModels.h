#pragma once
// List models of the main window: keys on the left, subject lines on the right. Neither makes an item
// object per line; the subject model keeps row ids and formats only the lines a view asks for.
#include <QAbstractListModel>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "browse/BrowseLists.h"

namespace kamo {

class KeyListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    void SetItems(std::vector<KeyItem> items);
    void Clear() { SetItems({}); }
    const KeyItem* At(int row) const;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    std::vector<KeyItem> items_;
};

class SubjectListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    ~SubjectListModel() override;
    // The reader keeps a statement on `db`; Clear() before the database closes.
    void SetRows(SQLite::Database& db, SubjectRows rows);
    void Clear();
    // The line's identity and text; empty when the row is out of range or gone from the archive.
    std::optional<SubjectLine> Line(int row) const;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Type-ahead search would read every line of a huge list; the subject list has none.
    QModelIndexList match(const QModelIndex& start, int role, const QVariant& value, int hits = 1,
                          Qt::MatchFlags flags = Qt::MatchFlags(Qt::MatchStartsWith | Qt::MatchWrap)) const override;

private:
    SubjectRows rows_;
    std::unique_ptr<SubjectLineReader> reader_;
    mutable std::unordered_map<int, SubjectLine> cache_;
};

} // namespace kamo
