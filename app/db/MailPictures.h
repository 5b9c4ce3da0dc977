#pragma once
// The bounds of showing pictures, wherever they are shown (the mail display, the conversation page,
// the print): how large a picture is decoded, how much the decoded pictures may hold in memory, when a
// picture is too large to decode at all.
#include <cstdint>
#include <string>
#include <string_view>

#include "common/MailRecord.h"
#include "db/Attachments.h"

namespace kamo {

// "画像を表示できません（壊れているか大きすぎます）": what a picture that cannot be shown says under its name.
extern const char* const kPictureNote;
// "画像の一部が欠けています": under a picture shown in part (a JPEG cut short shows what it has).
extern const char* const kPictureCutNote;

// A picture file larger than this is not read at all: its note is shown.
constexpr int64_t kMaxPictureFileBytes = 48ll << 20;
// Decoded pictures kept for quick display again (bytes of their pixels, all frames).
constexpr int64_t kPictureCacheBytes = 96ll << 20;
// A picture is decoded no wider than this and with no more pixels than this (scaled while read).
constexpr int kMaxDecodedWidth = 2048;
constexpr int64_t kMaxDecodedPixels = 4ll << 20;
// A picture whose file says it has more pixels than these is not decoded (its note is shown). A
// baseline JPEG is read scaled, so it may be huge; a progressive JPEG needs its whole size in memory
// while it is read, and the other formats are read whole (4 bytes a pixel) before they are scaled.
constexpr int64_t kMaxSourcePixels = 100'000'000;
constexpr int64_t kMaxProgressiveSourcePixels = 24'000'000;
constexpr int64_t kMaxWholeSourcePixels = 40'000'000;
// What one decode may allocate (MB), for formats that are read whole before they are scaled.
constexpr int kDecodeAllocationLimitMb = 160;
// The frames of an animation kept at most (bytes of pixels); an animation beyond it stands still.
constexpr int64_t kMaxAnimationBytes = 32ll << 20;

// Which attachments are pictures is decided where they are stored: IsPictureAttachment
// (db/Attachments.h), kept as AttachmentEntry::picture.

// True for a JPEG cut short: no end marker after its last scan. (Markers never occur inside a scan's
// data, and a thumbnail's end marker comes before the picture's own scan.)
bool IsCutJpeg(std::string_view bytes);

// True for a JPEG whose frame is progressive (SOF2, SOF6, SOF10, SOF14).
bool IsProgressiveJpeg(std::string_view bytes);

struct PictureSize {
    int width = 0;
    int height = 0;
    bool operator==(const PictureSize&) const = default;
};

// Whether a picture of `source` size may be decoded at all; `format` as PictureFormatOf gives it,
// `progressive` for a progressive JPEG.
bool MayDecode(PictureSize source, std::string_view format, bool progressive);

// The size a picture of `source` size is decoded at: itself, or scaled down (ratio kept, at least
// 1x1) to at most kMaxDecodedWidth wide and kMaxDecodedPixels, and to fit `fitWidth` and `fitHeight`
// where they are positive (the pane's room: pixels never shown are never held).
PictureSize DecodedSize(PictureSize source, int fitWidth = 0, int fitHeight = 0);

// The size a decoded picture is shown at in `availableWidth` and, when positive, `availableHeight`:
// scaled down to fit both (ratio kept, at least 1x1), never above its own size.
PictureSize ShownSize(PictureSize decoded, int availableWidth, int availableHeight = 0);

// The media type an attachment is saved and named by: "image/<format>" when its content is one of
// the picture formats (the content decides, as it does for showing it), else its stored type.
std::string ContentTypeOf(const AttachmentEntry& entry, std::string_view head);

// The time an animation frame stays (milliseconds): what the file says, with the too-short delays
// of many old files (0 to 10 ms) shown at 100 ms as browsers do.
int FrameDelayMs(int fileDelay);

// The cache key of one attachment of one mail: the mail's identity, the attachment's position, and
// its size and type (a key reused for other content never shows a stale picture).
std::string PictureCacheKey(const MailKey& key, const AttachmentEntry& entry);

} // namespace kamo
