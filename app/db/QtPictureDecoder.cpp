#include "db/QtPictureDecoder.h"

#include <QBuffer>
#include <QImageReader>
#include <cstring>
#include <string_view>

#include "db/MailPictures.h"

namespace kamo {
namespace {

// A JPEG cut before its picture data decodes to the decoder's fill (what its last pixel shows, being
// past the cut) with at most a block of something else: nothing of the picture to show.
bool ShowsNothing(const QImage& image) {
    const int bytes = image.depth() / 8;
    if (bytes < 1 || image.isNull())
        return false;
    const uchar* fill =
        image.constScanLine(image.height() - 1) + static_cast<std::ptrdiff_t>(image.width() - 1) * bytes;
    qint64 other = 0;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* line = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x)
            other +=
                std::memcmp(line + static_cast<std::ptrdiff_t>(x) * bytes, fill, static_cast<std::size_t>(bytes)) != 0;
    }
    return other <= std::max<qint64>(16 * 16, static_cast<qint64>(image.width()) * image.height() / 100);
}

} // namespace

qint64 DecodedPicture::Bytes() const {
    qint64 total = 0;
    for (const QImage& frame : frames)
        total += frame.sizeInBytes();
    return total;
}

DecodedPicture DecodePicture(const QByteArray& bytes, int fitWidth, int fitHeight) {
    DecodedPicture out;
    const std::string_view view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return out;
    // The content decides, not the stored type or name; and only the four formats of mail pictures.
    const QByteArray format = QImageReader::imageFormat(&buffer);
    if (format.isEmpty() || format.toStdString() != PictureFormatOf(view))
        return out;
    buffer.seek(0);
    QImageReader reader(&buffer, format);
    reader.setAllocationLimit(kDecodeAllocationLimitMb);
    reader.setAutoTransform(true);
    out.sourceSize = reader.size(); // read from the header alone
    const PictureSize source{out.sourceSize.width(), out.sourceSize.height()};
    if (!MayDecode(source, format.toStdString(), format == "jpeg" && IsProgressiveJpeg(view)))
        return out;
    const PictureSize target = DecodedSize(source, fitWidth, fitHeight);
    if (!(target == source))
        reader.setScaledSize(QSize(target.width, target.height));
    if (!(target == DecodedSize(source))) {
        out.fittedWidth = fitWidth;
        out.fittedHeight = fitHeight;
    }
    qint64 held = 0;
    for (;;) {
        QImage frame;
        if (!reader.read(&frame) || frame.isNull())
            break;
        held += frame.sizeInBytes();
        if (!out.frames.isEmpty() && held > kMaxAnimationBytes)
            break; // the frames so far play; a longer animation stands still at its first
        out.frames.append(frame);
        out.delays.append(FrameDelayMs(reader.nextImageDelay()));
        if (!reader.supportsAnimation() || reader.imageCount() == 1)
            break;
    }
    out.cut = !out.frames.isEmpty() && format == "jpeg" && IsCutJpeg(view);
    if (out.cut && ShowsNothing(out.frames.front())) { // nothing of the picture came: its note, not a grey block
        out.frames.clear();
        out.delays.clear();
        out.cut = false;
    }
    if (out.frames.size() > 1 && held > kMaxAnimationBytes) {
        out.frames.resize(1);
        out.delays.resize(1);
    }
    return out;
}

} // namespace kamo
