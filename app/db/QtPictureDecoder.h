#pragma once
// Decoding one picture attachment, off the window's thread: recognised by its content, its size read
// before its pixels, huge ones scaled while they are read or refused, an animation's frames kept
// within a bound. No widgets: a worker thread runs it.
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>

namespace kamo {

struct DecodedPicture {
    QList<QImage> frames; // empty when the picture cannot be shown
    QList<int> delays;    // milliseconds each frame stays (an animation)
    QSize sourceSize;     // the size the file says, when it says one
    bool cut = false;     // shown in part: the file was cut short
    int fittedWidth = 0;  // the pane's width it was made smaller for; 0 when not made smaller for one
    int fittedHeight = 0; // the pane's height then (0: its width alone)
    qint64 Bytes() const; // pixels held, for the cache
    bool Shown() const { return !frames.isEmpty(); }
};

// Decodes `bytes` when their content is a JPEG, PNG, GIF or BMP picture; nothing (no frames) for other
// content, a damaged picture, or one too large to decode within the bounds of MailPictures.h. With a
// positive `fitWidth` the picture is decoded to fit that width and a positive `fitHeight` (scaled
// while read).
DecodedPicture DecodePicture(const QByteArray& bytes, int fitWidth = 0, int fitHeight = 0);

} // namespace kamo
