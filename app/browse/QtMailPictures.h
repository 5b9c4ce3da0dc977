#pragma once
// The reading pane's scroll area: the mail text at its full height (QtScrolledText) and, under it,
// the pictures of the mail, so text and pictures scroll together. Each picture attachment (JPEG,
// PNG, GIF, animated too, BMP) shows with its name, scaled to fit the pane's width and height and
// never above its own size; one that cannot be shown says so under its name. A click opens it with
// the desktop's program; a right-click offers the attachment's menu, and it can be dragged out.
// Pictures decode on a worker thread, fitted to the pane's width, nearest the view first, and are
// kept in a cache bounded in bytes, so going back to a mail shows them at once; a result for a mail
// no longer on display is dropped. The cache holds every picture the pane shows: one it lets go is
// let go on screen too (a picture far from the view; it is decoded again when scrolled to), so a mail
// of many large pictures holds no more than the cache's bound.
#include <QCache>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "browse/QtScrolledText.h"
#include "common/MailRecord.h"
#include "db/Attachments.h"
#include "db/QtPictureDecoder.h"

class QLabel;
class QMenu;
class QVBoxLayout;

namespace kamo {

class QtMailPictures : public QtScrolledText {
    Q_OBJECT
public:
    explicit QtMailPictures(QWidget* parent = nullptr);
    ~QtMailPictures() override;

    // The mail text goes above the pictures (SetText): shown at its full height, at least the pane's
    // height when there are no pictures.
    // The part that holds the pictures (hidden when the mail has none): what a command's lock switches
    // off, the text staying readable.
    QWidget* PictureColumn() const { return column_; }

    // Shows the pictures of the mail with `key`: those in the cache at once, the others when they are
    // decoded. `db` is read here, on the window's thread, only.
    void ShowMail(SQLite::Database& db, const MailKey& key);
    void Clear();

    // Opens the picture at `position` (the attachment's position): the attachment list's way.
    using Opener = std::function<bool(int64_t position)>;
    void SetOpener(Opener opener) { opener_ = std::move(opener); }
    // The right-click menu of the attachment at `position`, and its drag from `source`.
    using MenuMaker = std::function<std::unique_ptr<QMenu>(int64_t position, QWidget* parent)>;
    void SetMenuMaker(MenuMaker maker) { menuMaker_ = std::move(maker); }
    using Dragger = std::function<bool(int64_t position, QWidget* source)>;
    void SetDragger(Dragger dragger) { dragger_ = std::move(dragger); }
    // How long a mail stays on display before its pictures are read and decoded (ms): walking the
    // mail lines with the keys reads none of the mails passed over.
    void SetLoadDelay(int ms) { loadTimer_.setInterval(ms); }

    // What is on display, for tests and the keyboard: the pictures of the mail, each one's name, the
    // size it is shown at (empty while it loads or when its note shows), whether its note shows.
    int Count() const { return static_cast<int>(slots_.size()); }
    int Pending() const;
    QString NameAt(int i) const;
    QSize ShownSize(int i) const;
    bool NoteShown(int i) const;
    bool Open(int i);
    std::unique_ptr<QMenu> MenuAt(int i);
    // The room a picture is fitted into: the pane's width and its height less the picture's name.
    QSize PictureRoom() const { return {AvailableWidth(), AvailableHeight()}; }

    qint64 CacheCost() const { return cache_.totalCost(); }
    // The bytes of decoded pixels held by the cache and the pane together, pictures scaled for a
    // narrower pane included.
    qint64 HeldBytes() const;
    qint64 CacheLimit() const { return cache_.maxCost(); }
    bool Cached(const MailKey& key, const AttachmentEntry& entry) const;

signals:
    // Every picture of the mail on display is shown or has its note.
    void Settled();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Slot;
    struct CachedPicture {
        std::shared_ptr<const DecodedPicture> picture;
    };

    void StartLoading();
    void Request(Slot& slot, quint64 generation);
    // Keeps what is nearest the view longest in the cache, then lets go on screen what it dropped.
    void TouchNearestLast();
    void ReleaseEvicted();
    void Release(Slot& slot);
    // How far a slot is from what the view shows (0 when in view), in pixels.
    int DistanceFromView(const Slot& slot) const;
    void OnDecoded(quint64 generation, const QString& key, std::shared_ptr<const DecodedPicture> picture);
    void Present(Slot& slot, std::shared_ptr<const DecodedPicture> picture);
    void ShowFrame(Slot& slot);
    int AvailableWidth() const;
    int AvailableHeight() const;

    std::vector<std::unique_ptr<Slot>> slots_;
    QWidget* column_ = nullptr;
    QVBoxLayout* layout_ = nullptr; // the pictures' column
    SQLite::Database* db_ = nullptr;
    MailKey key_;
    Opener opener_;
    MenuMaker menuMaker_;
    Dragger dragger_;
    QTimer loadTimer_;
    QSize shownRoom_;
    QCache<QString, CachedPicture> cache_;
    // The mail on display: a decode started for another is skipped, and its result dropped.
    std::shared_ptr<std::atomic<quint64>> generation_;
    QThreadPool pool_;
};

} // namespace kamo
