#pragma once
// List models of the main window: keys on the left, subject lines on the right. Neither makes an item
// object per line; the subject model keeps row ids and formats only the lines a view asks for.
#include <QAbstractListModel>
#include <QElapsedTimer>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "browse/KeyLists.h"
#include "browse/SubjectCursor.h"

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
    explicit SubjectListModel(QObject* parent = nullptr);
    ~SubjectListModel() override;
    // Takes the first lines at once and the rest in short slices while the event loop runs. The
    // reader and the stream keep statements on `db`; Clear() before the database closes.
    void SetStream(SQLite::Database& db, std::unique_ptr<SubjectRowSource> stream);
    void Clear();
    bool Loading() const { return stream_ != nullptr; }
    // Reads the rest now (before a command changes the archive under the open read).
    void FinishLoading();
    // The lines in the other order: the rest is read first, then the list turns round (grouped
    // again, when grouped).
    void Reverse();
    // The lines grouped by conversation (ThreadedOrder): `threadOfLine` names each line's
    // conversation in the list's own order (ListOrder), which must have come in whole
    // (FinishLoading). The later lines of a conversation are ReplySubjectLine lines.
    // SetStream and Clear end the grouping.
    void GroupByConversation(std::vector<std::string> threadOfLine);
    void Ungroup();
    bool Grouped() const { return grouped_; }
    // The lines as the list gives them, whether grouped or not.
    const std::vector<int64_t>& ListOrder() const { return grouped_ ? listOrder_ : rowIds_; }
    SubjectSource Source() const { return source_; }
    // The archive row a line shows (0 for none), and the line of an archive row (-1 when not listed;
    // the lines read so far).
    int64_t RowIdAt(int row) const {
        return row >= 0 && static_cast<size_t>(row) < rowIds_.size() ? rowIds_[static_cast<size_t>(row)] : 0;
    }
    int RowOf(int64_t rowId) const;
    // The line's identity and text; empty when the row is out of range or gone from the archive.
    std::optional<SubjectLine> Line(int row) const;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Type-ahead search would read every line of a huge list; the subject list has none.
    QModelIndexList match(const QModelIndex& start, int role, const QVariant& value, int hits = 1,
                          Qt::MatchFlags flags = Qt::MatchFlags(Qt::MatchStartsWith | Qt::MatchWrap)) const override;

signals:
    // The number of lines so far; `complete` once the last has come in.
    void CountChanged(qsizetype count, bool complete);
    void LoadFailed(const QString& message);

private:
    // Reads for about `budgetMs`; returns false when the stream is finished.
    bool ReadSlice(qint64 budgetMs);
    void ReadMore();
    void Publish();
    // rowIds_ and replies_ from listOrder_ and threads_.
    void Arrange();
    void EndGrouping();

    SubjectSource source_ = SubjectSource::Mail;
    std::vector<int64_t> rowIds_;
    std::vector<int64_t> unpublished_; // read, not yet handed to the view
    QElapsedTimer sincePublish_;
    std::unique_ptr<SubjectRowSource> stream_;
    std::unique_ptr<SubjectLineReader> reader_;
    QTimer* idle_ = nullptr;
    mutable std::unordered_map<int, SubjectLine> cache_;
    // Grouped by conversation: the list's own order and each line's conversation, and which lines on
    // display stand under their conversation's first.
    bool grouped_ = false;
    std::vector<int64_t> listOrder_;
    std::vector<std::string> threads_;
    std::vector<bool> replies_;
};

} // namespace kamo
