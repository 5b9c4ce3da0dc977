#include "db/MailPictures.h"

#include <algorithm>
#include <cmath>

#include "common/MessagesArchive.h"

namespace kamo {
namespace {

unsigned Byte(std::string_view s, std::size_t i) {
    return static_cast<unsigned char>(s[i]);
}

// Scales `size` by `factor` (at most 1), at least 1x1.
PictureSize Scaled(PictureSize size, double factor) {
    if (factor >= 1.0)
        return size;
    // The small margin keeps a factor like 2048/10000 from flooring to 2047.
    return {std::max(1, static_cast<int>(std::floor(size.width * factor + 1e-6))),
            std::max(1, static_cast<int>(std::floor(size.height * factor + 1e-6)))};
}

} // namespace

const char* const kPictureNote = TextOf(ArchiveText::PictureNote);
const char* const kPictureCutNote = TextOf(ArchiveText::PictureCutNote);

bool IsCutJpeg(std::string_view bytes) {
    if (PictureFormatOf(bytes) != "jpeg")
        return false;
    const std::size_t end = bytes.rfind(std::string_view("\xFF\xD9", 2));
    const std::size_t scan = bytes.rfind(std::string_view("\xFF\xDA", 2));
    return end == std::string_view::npos || (scan != std::string_view::npos && end < scan);
}

bool IsProgressiveJpeg(std::string_view bytes) {
    if (PictureFormatOf(bytes) != "jpeg")
        return false;
    // Segments after SOI: FF marker, then a big-endian length that counts itself; the first frame
    // header (SOFn) tells the kind.
    std::size_t at = 2;
    while (at + 4 <= bytes.size()) {
        if (Byte(bytes, at) != 0xFF)
            return false;
        const unsigned marker = Byte(bytes, at + 1);
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE)
            return true;
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return false; // another frame kind
        if (marker == 0xDA || marker == 0xD9)
            return false; // scan data or the end before any frame
        const std::size_t length = Byte(bytes, at + 2) << 8 | Byte(bytes, at + 3);
        if (length < 2)
            return false;
        at += 2 + length;
    }
    return false;
}

bool MayDecode(PictureSize source, std::string_view format, bool progressive) {
    if (source.width <= 0 || source.height <= 0)
        return false;
    const int64_t pixels = static_cast<int64_t>(source.width) * source.height;
    const int64_t bound = format != "jpeg" ? kMaxWholeSourcePixels
                          : progressive    ? kMaxProgressiveSourcePixels
                                           : kMaxSourcePixels;
    return pixels <= bound;
}

PictureSize DecodedSize(PictureSize source, int fitWidth, int fitHeight) {
    if (source.width <= 0 || source.height <= 0)
        return {};
    const double pixels = static_cast<double>(source.width) * source.height;
    const double factor = std::min({1.0, static_cast<double>(kMaxDecodedWidth) / source.width,
                                    std::sqrt(static_cast<double>(kMaxDecodedPixels) / pixels)});
    const PictureSize bounded = Scaled(source, factor);
    return fitWidth > 0 ? ShownSize(bounded, fitWidth, fitHeight) : bounded;
}

PictureSize ShownSize(PictureSize decoded, int availableWidth, int availableHeight) {
    if (decoded.width <= 0 || decoded.height <= 0)
        return {};
    const int width = std::clamp(availableWidth, 1, decoded.width);
    auto height = static_cast<int64_t>(decoded.height) * width / decoded.width;
    if (availableHeight <= 0 || height <= availableHeight)
        return {width, static_cast<int>(std::max<int64_t>(1, height))};
    // Too tall for the pane: its height decides, the width follows.
    const int64_t byHeight = static_cast<int64_t>(decoded.width) * availableHeight / decoded.height;
    return {static_cast<int>(std::max<int64_t>(1, byHeight)), std::max(1, availableHeight)};
}

std::string ContentTypeOf(const AttachmentEntry& entry, std::string_view head) {
    const std::string format = PictureFormatOf(head);
    return format.empty() ? entry.contentType : "image/" + format;
}

int FrameDelayMs(int fileDelay) {
    return fileDelay <= 10 ? 100 : fileDelay;
}

std::string PictureCacheKey(const MailKey& key, const AttachmentEntry& entry) {
    // Fields joined with a separator that no stored text holds.
    const char sep = '\x1F';
    return key.ymd + sep + key.hms + sep + std::to_string(key.subKey) + sep + (key.sent ? "1" : "0") + sep +
           key.sndAdd + sep + key.rcvAdd + sep + std::to_string(entry.position) + sep + std::to_string(entry.size) +
           sep + entry.contentType;
}

} // namespace kamo
