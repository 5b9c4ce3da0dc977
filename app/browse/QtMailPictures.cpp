#include "browse/QtMailPictures.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QScrollBar>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>

#include "browse/AttachmentFiles.h"
#include "db/MailPictures.h"

namespace kamo {
namespace {

QString U(const char* s) {
    return QString::fromUtf8(s);
}

// Made smaller for a pane that has grown since: decoded again for the room it has now.
bool Refits(const DecodedPicture& picture, QSize room) {
    return picture.fittedWidth > 0 &&
           (picture.fittedWidth < room.width() || (picture.fittedHeight > 0 && picture.fittedHeight < room.height()));
}

// Decodes waiting at most (their file bytes are held meanwhile): the nearest go first, and the view is
// measured again as the ones before it come.
constexpr int kMaxPicturesInFlight = 4;

// A picture that opens with a click and is dragged out with the mouse held down.
class PictureLabel : public QLabel {
public:
    PictureLabel(std::function<void()> onClick, std::function<void()> onDrag, QWidget* parent)
        : QLabel(parent), onClick_(std::move(onClick)), onDrag_(std::move(onDrag)) {}

protected:
    void mousePressEvent(QMouseEvent* event) override {
        pressedAt_ = event->button() == Qt::LeftButton ? event->position().toPoint() : QPoint(-1, -1);
        QLabel::mousePressEvent(event);
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if ((event->buttons() & Qt::LeftButton) && pressedAt_.x() >= 0 && !pixmap().isNull() &&
            (event->position().toPoint() - pressedAt_).manhattanLength() >= QApplication::startDragDistance()) {
            pressedAt_ = QPoint(-1, -1); // a drag is no click
            onDrag_();
            return;
        }
        QLabel::mouseMoveEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && pressedAt_.x() >= 0 && rect().contains(event->position().toPoint()) &&
            !pixmap().isNull())
            onClick_();
        pressedAt_ = QPoint(-1, -1);
        QLabel::mouseReleaseEvent(event);
    }

private:
    std::function<void()> onClick_;
    std::function<void()> onDrag_;
    QPoint pressedAt_{-1, -1};
};

} // namespace

struct QtMailPictures::Slot {
    AttachmentEntry entry;
    QString key;
    QWidget* frame = nullptr;
    QLabel* name = nullptr;
    PictureLabel* picture = nullptr;
    QLabel* note = nullptr;
    QTimer* animation = nullptr;
    std::shared_ptr<const DecodedPicture> decoded;
    bool done = false;      // shown, or its note shows
    bool requested = false; // a decode is on its way
    bool deferred = false;  // waits until it comes near the view: the cache has no room for it now
    bool refit = false;     // shown narrower than the pane now allows: decoded again
    int frameIndex = 0;
    std::vector<QPixmap> scaled; // frames fitted to scaledRoom
    QSize scaledRoom;
};

QtMailPictures::QtMailPictures(QWidget* parent)
    : QtScrolledText(parent), cache_(kPictureCacheBytes), generation_(std::make_shared<std::atomic<quint64>>(0)) {
    setObjectName("fraPictures");
    column_ = new QWidget(Content());
    column_->setObjectName("fraPictureColumn");
    layout_ = new QVBoxLayout(column_);
    layout_->setContentsMargins(4, 4, 4, 4);
    SetBelow(column_);
    // Two decodes at a time at most: the window's thread keeps a core.
    pool_.setMaxThreadCount(std::clamp(QThread::idealThreadCount() - 1, 1, 2));
    loadTimer_.setSingleShot(true);
    loadTimer_.setInterval(60);
    connect(&loadTimer_, &QTimer::timeout, this, &QtMailPictures::StartLoading);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (!slots_.empty())
            loadTimer_.start();
    });
}

QtMailPictures::~QtMailPictures() {
    // Nothing may come back to a window that is going.
    generation_->fetch_add(1);
    pool_.clear();
    pool_.waitForDone();
}

void QtMailPictures::Clear() {
    generation_->fetch_add(1);
    pool_.clear(); // decodes not yet started for the mail that goes
    loadTimer_.stop();
    for (auto& slot : slots_) {
        if (slot->animation)
            slot->animation->stop();
        slot->frame->hide();
        slot->frame->deleteLater();
    }
    slots_.clear();
    db_ = nullptr;
    if (!column_->isHidden()) {
        column_->hide();
        FitText();
    }
}

void QtMailPictures::ShowMail(SQLite::Database& db, const MailKey& key) {
    Clear();
    db_ = &db;
    key_ = key;
    for (const AttachmentEntry& entry : ListAttachments(db, key)) {
        if (!entry.picture)
            continue;
        // The first bytes name an unnamed picture by its format.
        std::string head;
        try {
            head = AttachmentHead(db, key, entry.position, kPictureHeadBytes).value_or("");
        } catch (const std::exception&) {
            // unreadable here: the attachment list still offers it
        }
        auto slot = std::make_unique<Slot>();
        slot->entry = entry;
        slot->key = QString::fromStdString(PictureCacheKey(key, entry));
        slot->frame = new QWidget(column_);
        auto* column = new QVBoxLayout(slot->frame);
        column->setContentsMargins(0, 0, 0, 8);
        column->setSpacing(2);
        slot->name = new QLabel(
            QString::fromStdString(SafeFileName(entry.name, entry.position, ContentTypeOf(entry, head))), slot->frame);
        slot->name->setObjectName("lblPictureName");
        slot->name->setTextFormat(Qt::PlainText);
        const int64_t position = entry.position;
        slot->picture = new PictureLabel(
            [this, position] {
                if (opener_)
                    opener_(position);
            },
            [this, position, frame = slot->frame] {
                if (dragger_)
                    dragger_(position, frame);
            },
            slot->frame);
        // A picture, shown or not, has the attachment's menu.
        slot->frame->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(slot->frame, &QWidget::customContextMenuRequested, this,
                [this, position, frame = slot->frame](QPoint at) {
                    if (menuMaker_)
                        menuMaker_(position, this)->exec(frame->mapToGlobal(at));
                });
        slot->picture->setObjectName("imgPicture");
        slot->picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        slot->picture->setText(U("読み込み中…"));
        slot->note = new QLabel(slot->frame);
        slot->note->setObjectName("lblPictureNote");
        slot->note->setTextFormat(Qt::PlainText);
        slot->note->hide();
        column->addWidget(slot->name);
        column->addWidget(slot->picture);
        column->addWidget(slot->note);
        layout_->insertWidget(layout_->count() - 1, slot->frame);
        Slot& shown = *slot;
        slots_.push_back(std::move(slot));
        if (const CachedPicture* cached = cache_.object(shown.key))
            Present(shown, cached->picture);
    }
    column_->setVisible(!slots_.empty());
    FitText();
    verticalScrollBar()->setValue(0);
    if (std::any_of(slots_.begin(), slots_.end(), [](const auto& s) { return !s->done || s->refit; }))
        loadTimer_.start();
}

void QtMailPictures::StartLoading() {
    if (!db_)
        return;
    layout_->activate(); // where the pictures shown since are now
    std::vector<Slot*> order;
    for (auto& slot : slots_)
        order.push_back(slot.get());
    std::stable_sort(order.begin(), order.end(),
                     [this](const Slot* a, const Slot* b) { return DistanceFromView(*a) < DistanceFromView(*b); });
    // What this mail holds, and what a picture to come may take: room in the cache is for pictures
    // near the view first; a far one is decoded ahead only while the cache has room for it.
    qint64 held = 0, largest = static_cast<qint64>(AvailableWidth()) * AvailableWidth() * 4;
    int inFlight = 0;
    for (const auto& slot : slots_) {
        if (slot->decoded) {
            held += slot->decoded->Bytes();
            largest = std::max(largest, slot->decoded->Bytes());
        }
        inFlight += slot->requested ? 1 : 0;
    }
    const int nearby = viewport()->height();
    const quint64 generation = generation_->load();
    for (Slot* slot : order) {
        if ((slot->done && !slot->refit) || slot->requested)
            continue;
        if (inFlight >= kMaxPicturesInFlight)
            break;
        if (DistanceFromView(*slot) > nearby && held + (inFlight + 1) * largest > kPictureCacheBytes) {
            slot->deferred = !slot->done;
            continue;
        }
        slot->deferred = false;
        Request(*slot, generation);
        inFlight += slot->requested ? 1 : 0;
    }
    if (Pending() == 0)
        emit Settled();
}

void QtMailPictures::Request(Slot& slot, quint64 generation) {
    if (slot.entry.size > kMaxPictureFileBytes) {
        Present(slot, std::make_shared<DecodedPicture>());
        return;
    }
    std::optional<std::string> bytes;
    try {
        bytes = AttachmentBytes(*db_, key_, slot.entry.position);
    } catch (const std::exception&) {
    }
    if (!bytes || bytes->size() > static_cast<std::size_t>(kMaxPictureFileBytes)) {
        Present(slot, std::make_shared<DecodedPicture>());
        return;
    }
    slot.requested = true;
    QByteArray data(bytes->data(), static_cast<qsizetype>(bytes->size()));
    bytes.reset();
    pool_.start([this, generation, state = generation_, key = slot.key, data = std::move(data), room = PictureRoom()] {
        if (state->load() != generation)
            return; // another mail is on display: not decoded at all
        auto picture = std::make_shared<const DecodedPicture>(DecodePicture(data, room.width(), room.height()));
        QMetaObject::invokeMethod(
            this, [this, generation, key, picture] { OnDecoded(generation, key, picture); }, Qt::QueuedConnection);
    });
}

int QtMailPictures::DistanceFromView(const Slot& slot) const {
    const int top = verticalScrollBar()->value();
    const int bottom = top + viewport()->height();
    const QRect frame = slot.frame->geometry().translated(column_->pos());
    if (frame.bottom() < top)
        return top - frame.bottom();
    if (frame.top() > bottom)
        return frame.top() - bottom;
    return 0;
}

void QtMailPictures::TouchNearestLast() {
    std::vector<Slot*> order;
    for (auto& slot : slots_)
        order.push_back(slot.get());
    std::stable_sort(order.begin(), order.end(),
                     [this](const Slot* a, const Slot* b) { return DistanceFromView(*a) > DistanceFromView(*b); });
    for (Slot* slot : order)
        cache_.object(slot->key);
}

void QtMailPictures::ReleaseEvicted() {
    for (auto& slot : slots_)
        if (slot->done && slot->decoded->Shown() && !cache_.contains(slot->key))
            Release(*slot);
}

void QtMailPictures::Release(Slot& slot) {
    // Keeps its room, so the pictures around it stay where they are.
    slot.picture->setMinimumHeight(slot.picture->height());
    slot.picture->clear();
    slot.picture->setText(U("読み込み中…"));
    slot.picture->unsetCursor();
    slot.picture->setToolTip(QString());
    slot.note->hide();
    if (slot.animation) {
        slot.animation->stop();
        slot.animation->deleteLater();
        slot.animation = nullptr;
    }
    slot.decoded.reset();
    slot.scaled.clear();
    slot.scaledRoom = QSize();
    slot.done = false;
    slot.refit = false;
    slot.deferred = true;
}

void QtMailPictures::OnDecoded(quint64 generation, const QString& key, std::shared_ptr<const DecodedPicture> picture) {
    if (generation != generation_->load())
        return; // late: its mail is no longer on display
    TouchNearestLast();
    // A picture is at most kMaxAnimationBytes, well within the cache: the insert always keeps it.
    cache_.insert(key, new CachedPicture{picture}, std::max<qint64>(picture->Bytes(), 1024));
    ReleaseEvicted();
    for (auto& slot : slots_)
        if (slot->key == key && slot->requested) {
            slot->requested = false;
            Present(*slot, picture);
        }
    if (Pending() == 0)
        emit Settled();
    loadTimer_.start(); // the view has changed: what comes near it now
}

void QtMailPictures::Present(Slot& slot, std::shared_ptr<const DecodedPicture> picture) {
    if (slot.animation) { // a picture decoded again for a wider pane
        slot.animation->stop();
        slot.animation->deleteLater();
        slot.animation = nullptr;
    }
    slot.done = true;
    slot.deferred = false;
    slot.decoded = std::move(picture);
    slot.scaled.clear();
    slot.scaledRoom = QSize();
    slot.refit = Refits(*slot.decoded, PictureRoom());
    slot.picture->setMinimumHeight(0);
    if (!slot.decoded->Shown()) {
        slot.picture->hide();
        slot.note->setText(U(kPictureNote));
        slot.note->show();
        return;
    }
    slot.picture->setText(QString());
    slot.picture->setCursor(Qt::PointingHandCursor);
    slot.picture->setToolTip(U("クリックで開きます"));
    slot.frameIndex = 0;
    if (slot.decoded->frames.size() > 1) {
        slot.animation = new QTimer(slot.frame);
        slot.animation->setSingleShot(true);
        Slot* self = &slot;
        connect(slot.animation, &QTimer::timeout, slot.frame, [this, self] {
            self->frameIndex = (self->frameIndex + 1) % static_cast<int>(self->decoded->frames.size());
            ShowFrame(*self);
        });
    }
    ShowFrame(slot); // starts the animation
    if (slot.decoded->cut) {
        slot.note->setText(U(kPictureCutNote));
        slot.note->show();
    }
}

void QtMailPictures::ShowFrame(Slot& slot) {
    const auto& frames = slot.decoded->frames;
    const QSize room = PictureRoom();
    if (slot.scaledRoom != room) {
        slot.scaled.assign(static_cast<std::size_t>(frames.size()), QPixmap());
        slot.scaledRoom = room;
    }
    QPixmap& pixmap = slot.scaled[static_cast<std::size_t>(slot.frameIndex)];
    if (pixmap.isNull()) {
        const QImage& frame = frames[slot.frameIndex];
        const PictureSize shown = kamo::ShownSize({frame.width(), frame.height()}, room.width(), room.height());
        pixmap = QPixmap::fromImage(
            shown.width == frame.width() && shown.height == frame.height()
                ? frame
                : frame.scaled(shown.width, shown.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    slot.picture->setPixmap(pixmap);
    if (slot.animation)
        slot.animation->start(slot.decoded->delays[slot.frameIndex]);
}

int QtMailPictures::AvailableWidth() const {
    const QMargins margins = layout_->contentsMargins();
    return std::max(16, viewport()->width() - margins.left() - margins.right());
}

int QtMailPictures::AvailableHeight() const {
    // A picture scrolled to the top of the pane is seen whole under its name.
    const QMargins margins = layout_->contentsMargins();
    const int name = fontMetrics().height() + 2 + 2; // the name's line and the spacing under it
    return std::max(16, viewport()->height() - margins.top() - margins.bottom() - name);
}

void QtMailPictures::resizeEvent(QResizeEvent* event) {
    QtScrolledText::resizeEvent(event);
    const QSize room = PictureRoom();
    if (room == shownRoom_)
        return;
    shownRoom_ = room;
    bool refit = false;
    for (auto& slot : slots_)
        if (slot->done && slot->decoded->Shown()) {
            ShowFrame(*slot);
            slot->refit = Refits(*slot->decoded, room);
            refit = refit || slot->refit;
        }
    if (refit || Pending() > 0)
        loadTimer_.start();
}

int QtMailPictures::Pending() const {
    // A picture that waits for room comes once it is near the view.
    const int nearby = viewport()->height();
    return static_cast<int>(std::count_if(slots_.begin(), slots_.end(), [&](const auto& s) {
        return !s->done && (!s->deferred || DistanceFromView(*s) <= nearby);
    }));
}

qint64 QtMailPictures::HeldBytes() const {
    qint64 held = cache_.totalCost();
    for (const auto& slot : slots_) {
        if (!slot->decoded)
            continue;
        if (!cache_.contains(slot->key))
            held += slot->decoded->Bytes();
        for (std::size_t i = 0; i < slot->scaled.size(); ++i) {
            const QPixmap& pixmap = slot->scaled[i];
            if (!pixmap.isNull() && pixmap.size() != slot->decoded->frames[static_cast<qsizetype>(i)].size())
                held += static_cast<qint64>(pixmap.width()) * pixmap.height() * pixmap.depth() / 8;
        }
    }
    return held;
}

QString QtMailPictures::NameAt(int i) const {
    return i >= 0 && i < Count() ? slots_[static_cast<std::size_t>(i)]->name->text() : QString();
}

QSize QtMailPictures::ShownSize(int i) const {
    if (i < 0 || i >= Count())
        return {};
    const Slot& slot = *slots_[static_cast<std::size_t>(i)];
    return slot.done && slot.decoded->Shown() ? slot.picture->pixmap().size() : QSize();
}

bool QtMailPictures::NoteShown(int i) const {
    return i >= 0 && i < Count() && !slots_[static_cast<std::size_t>(i)]->note->isHidden();
}

bool QtMailPictures::Open(int i) {
    if (i < 0 || i >= Count() || !opener_)
        return false;
    return opener_(slots_[static_cast<std::size_t>(i)]->entry.position);
}

std::unique_ptr<QMenu> QtMailPictures::MenuAt(int i) {
    if (i < 0 || i >= Count() || !menuMaker_)
        return nullptr;
    return menuMaker_(slots_[static_cast<std::size_t>(i)]->entry.position, this);
}

bool QtMailPictures::Cached(const MailKey& key, const AttachmentEntry& entry) const {
    return cache_.contains(QString::fromStdString(PictureCacheKey(key, entry)));
}

} // namespace kamo
