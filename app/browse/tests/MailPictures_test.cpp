// Which attachments show as pictures, and the sizes pictures are decoded and shown at.
#include "db/MailPictures.h"

#include <cstring>
#include <gtest/gtest.h>
#include <set>

#include "ppwriter/MailboxWriter.h"
#include "testsupport/TestSupport.h"

namespace kamo {
namespace {

std::string Bmp(unsigned headerSize) {
    std::string head = "BM" + std::string(12, '\0');
    head += static_cast<char>(headerSize);
    head += std::string(3, '\0');
    return head;
}

TEST(MailPictures, TheFourFormatsAreKnownByTheirFirstBytesAndNothingElse) {
    const struct {
        std::string head;
        const char* format;
    } cases[] = {
        {std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10), "jpeg"},
        {std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16), "png"},
        {"GIF89a\x01\x00", "gif"},
        {"GIF87a", "gif"},
        {Bmp(40), "bmp"},
        {Bmp(124), "bmp"},
        {Bmp(41), ""}, // text that starts with "BM"
        {"BMW fuhr vorbei, sagte sie", ""},
        {std::string("\xFF\xD8", 2), ""},    // too short to tell
        {std::string("\x89PNG\r\n", 6), ""}, // a cut signature
        {"GIF90a", ""},
        {"PK\x03\x04zip", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PictureFormatOf(c.head), c.format) << c.head;
}

TEST(MailPictures, APictureIsWhatItsContentIsOrWhatItSaysItIs) {
    const std::string jpeg("\xFF\xD8\xFF\xE1", 4);
    const struct {
        AttachmentEntry entry;
        std::string head;
        bool picture;
    } cases[] = {
        {{1, "", "application/octet-stream", 9}, jpeg, true}, // unnamed, untyped, a JPEG by content
        {{1, "scan.dat", "application/octet-stream", 9}, jpeg, true},
        {{1, "旅行.JPG", "application/octet-stream", 9}, "", true}, // says so by its name
        {{1, "a", "image/png", 9}, "", true},                       // by its type (broken: its note shows)
        {{1, "a", "IMAGE/GIF", 9}, "", true},
        {{1, "a.bmp", "", 9}, "", true},
        {{1, "資料.zip", "application/zip", 9}, "PK\x03\x04", false},
        {{1, "memo.txt", "text/plain; charset=shift_jis", 9}, "hello", false},
        {{1, "a.tif", "image/tiff", 9}, "II*", false}, // a format not shown
        {{1, "jpg", "", 9}, "", false},                // no extension at all
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsPictureAttachment(c.entry, c.head), c.picture) << c.entry.name << " " << c.entry.contentType;
}

// A JPEG of segments: SOI, an APP0 segment, then a frame header of `marker`.
std::string Jpeg(unsigned char marker) {
    std::string bytes("\xFF\xD8\xFF\xE0\x00\x06JFIF", 10);
    bytes += std::string("\xFF", 1) + static_cast<char>(marker) + std::string("\x00\x0B\x08\x27\x10\x27\x10\x01", 8);
    return bytes;
}

TEST(MailPictures, AProgressiveJpegIsToldByItsFrameHeader) {
    EXPECT_TRUE(IsProgressiveJpeg(Jpeg(0xC2)));
    EXPECT_FALSE(IsProgressiveJpeg(Jpeg(0xC0)));
    EXPECT_FALSE(IsProgressiveJpeg(Jpeg(0xC1)));
    // Cut anywhere, or with a length pointing past the end: no read beyond it, and not progressive.
    const std::string whole = Jpeg(0xC2);
    for (std::size_t n = 0; n + 1 < 12; ++n)
        EXPECT_FALSE(IsProgressiveJpeg(whole.substr(0, n))) << n;
    std::string longSegment = whole;
    longSegment[4] = '\x7F';
    EXPECT_FALSE(IsProgressiveJpeg(longSegment));
    EXPECT_FALSE(IsProgressiveJpeg(std::string("\x89PNG\r\n\x1A\n", 8)));
}

TEST(MailPictures, AJpegCutShortHasNoEndAfterItsLastScan) {
    const std::string head("\xFF\xD8\xFF\xE1\x00\x04xx", 8);
    const std::string thumbnail("\xFF\xDA\x00\x02thumb\xFF\xD9", 11);
    const std::string scan(std::string("\xFF\xDA\x00\x02", 4) + "data" + std::string("\xFF\x00\xFF\xD0", 4) + "more");
    EXPECT_FALSE(IsCutJpeg(head + scan + "\xFF\xD9"));
    EXPECT_FALSE(IsCutJpeg(head + thumbnail + scan + "\xFF\xD9" + std::string(40, '\0'))); // padding after it
    EXPECT_TRUE(IsCutJpeg(head + scan));
    EXPECT_TRUE(IsCutJpeg(head + thumbnail + scan)); // the thumbnail's end is not the picture's
    EXPECT_TRUE(IsCutJpeg(head));
    EXPECT_FALSE(IsCutJpeg("GIF89a"));
}

TEST(MailPictures, HugePicturesAreDecodedSmallerOrNotAtAll) {
    const struct {
        PictureSize source;
        const char* format;
        bool progressive;
        bool decoded;
    } bounds[] =
        {
            {{10000, 10000}, "jpeg", false, true}, // 100 megapixels: a baseline JPEG is read scaled
            {{10001, 10000}, "jpeg", false, false},
            {{10000, 10000}, "jpeg", true, false}, // progressive: needs its whole size while read
            {{4000, 6000}, "jpeg", true, true},
            {{10000, 10000}, "png", false, false}, // read whole before scaling: 400 MB
            {{8000, 5000}, "png", false, true},
            {{8000, 5001}, "gif", false, false},
            {{0, 10}, "jpeg", false, false},
            {{65535, 65535}, "jpeg", false, false},
        };
    for (const auto& b : bounds)
        EXPECT_EQ(MayDecode(b.source, b.format, b.progressive), b.decoded)
            << b.source.width << "x" << b.source.height << " " << b.format;

    const struct {
        PictureSize source, decoded;
    } cases[] = {
        {{400, 300}, {400, 300}},
        {{2048, 2048}, {2048, 2048}},
        {{4096, 1024}, {2048, 512}},    // width bound
        {{10000, 10000}, {2048, 2048}}, // pixel bound: 4 Mi pixels
        {{1000, 20000}, {457, 9158}},   // a tall strip keeps its ratio under the pixel bound
        {{100000, 1}, {2048, 1}},       // never below one pixel
        {{0, 5}, {0, 0}},
    };
    for (const auto& c : cases) {
        const PictureSize decoded = DecodedSize(c.source);
        EXPECT_EQ(decoded.width, c.decoded.width) << c.source.width << "x" << c.source.height;
        EXPECT_EQ(decoded.height, c.decoded.height) << c.source.width << "x" << c.source.height;
        EXPECT_LE(static_cast<int64_t>(decoded.width) * decoded.height, kMaxDecodedPixels);
    }
    // Fitted to the pane: no wider than it, ratio kept, and within the bounds above.
    const struct {
        PictureSize source;
        int fitWidth;
        PictureSize decoded;
    } fitted[] = {
        {{2048, 2048}, 600, {600, 600}},      {{400, 300}, 600, {400, 300}},  // never upscaled
        {{10000, 10000}, 3000, {2048, 2048}},                                 // the bounds still hold
        {{1000, 20000}, 200, {200, 4007}},    {{4096, 1024}, 0, {2048, 512}}, // no pane: the bounds alone
        {{100000, 1}, 10, {10, 1}},
    };
    for (const auto& c : fitted) {
        const PictureSize decoded = DecodedSize(c.source, c.fitWidth);
        EXPECT_EQ(decoded, c.decoded) << c.source.width << "x" << c.source.height << " in " << c.fitWidth;
    }
}

TEST(MailPictures, APictureIsShownAtTheWidthOfThePaneNeverAboveItsOwnSize) {
    const struct {
        PictureSize decoded;
        int width;
        PictureSize shown;
    } cases[] = {
        {{400, 300}, 200, {200, 150}}, {{400, 300}, 1000, {400, 300}}, // never upscaled
        {{400, 300}, 400, {400, 300}}, {{3, 1000}, 1, {1, 333}},
        {{1000, 1}, 10, {10, 1}}, // never below one pixel
        {{400, 300}, 0, {1, 1}},
    };
    for (const auto& c : cases) {
        const PictureSize shown = ShownSize(c.decoded, c.width);
        EXPECT_EQ(shown.width, c.shown.width) << c.decoded.width << " in " << c.width;
        EXPECT_EQ(shown.height, c.shown.height) << c.decoded.width << " in " << c.width;
    }
    EXPECT_EQ(FrameDelayMs(0), 100);
    EXPECT_EQ(FrameDelayMs(10), 100);
    EXPECT_EQ(FrameDelayMs(70), 70);
}

TEST(MailPictures, APictureFitsThePanesWidthAndHeightRatioKept) {
    const struct {
        PictureSize decoded;
        int width, height;
        PictureSize shown;
    } cases[] = {
        {{1600, 1200}, 780, 400, {533, 400}}, // a 4:3 photo in a wide, low pane: its height decides
        {{1600, 1200}, 300, 400, {300, 225}}, // in a narrow one: its width
        {{600, 1200}, 780, 400, {200, 400}},  // portrait
        {{120, 90}, 780, 400, {120, 90}},     // never above its own size
        {{400, 300}, 400, 300, {400, 300}},   // exactly the room
        {{1000, 1}, 500, 1, {500, 1}},        {{1, 1000}, 500, 10, {1, 10}}, // never below one pixel
        {{400, 300}, 200, 0, {200, 150}},                                    // no height given: the width alone
    };
    for (const auto& c : cases) {
        const PictureSize shown = ShownSize(c.decoded, c.width, c.height);
        EXPECT_EQ(shown, c.shown) << c.decoded.width << "x" << c.decoded.height << " in " << c.width << "x" << c.height;
    }
}

TEST(MailPictures, AnAttachmentIsTypedByItsPictureContent) {
    const struct {
        std::string storedType, head, type;
    } cases[] = {
        {"application/octet-stream", "\x89PNG\r\n\x1A\n....", "image/png"},
        {"application/octet-stream", "\xFF\xD8\xFF\xE0", "image/jpeg"},
        {"", "GIF89a", "image/gif"},
        {"image/png", "GIF87a", "image/gif"}, // the content decides
        {"application/zip", "PK\x03\x04", "application/zip"},
        {"text/plain", "", "text/plain"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ContentTypeOf({1, "", c.storedType, 10}, c.head), c.type) << c.storedType;
}

TEST(MailPictures, TheCacheKeyTellsMailsAndAttachmentsApart) {
    MailKey a{"2001/09/04", "21:05:33", 0, false, "", "", "hanako@example.jp", "kamo@example.jp"};
    MailKey b = a;
    b.subKey = 1;
    const AttachmentEntry first{1, "a.png", "image/png", 100};
    AttachmentEntry second = first;
    second.position = 2;
    AttachmentEntry other = first;
    other.size = 101;
    const std::set<std::string> keys{PictureCacheKey(a, first), PictureCacheKey(b, first), PictureCacheKey(a, second),
                                     PictureCacheKey(a, other)};
    EXPECT_EQ(keys.size(), 4u);
    EXPECT_EQ(PictureCacheKey(a, first), PictureCacheKey(a, first));
}

// The picture mails of the mailbox writer (the walk-through folders) carry BMPs another reader
// takes for what they say: ImageMagick, not the program's own decoding.
TEST(MailPictures, TheMailboxWritersPicturesReadBackInAnotherReader) {
    const test::TempDir dir;
    const struct {
        uint64_t n;
        const char* size;
    } cases[] = {{0, "640 480"}, {1, "480 640"}, {2, "1024 768"}, {5, "1024 768"}};
    for (const auto& c : cases) {
        const ppw::Mail mail = ppw::PictureMail(ppw::Mail{}, c.n);
        const std::string name = "photo" + std::to_string(c.n) + ".bmp";
        EXPECT_NE(mail.body.find("Content-Type: image/bmp; name=\"" + name + "\""), std::string::npos) << c.n;
        const std::string bytes =
            ppw::PictureBytes(static_cast<uint32_t>(std::stoi(c.size)),
                              static_cast<uint32_t>(std::stoi(std::strchr(c.size, ' ') + 1)), c.n);
        EXPECT_EQ(PictureFormatOf(bytes), "bmp");
        test::WriteFile(dir / name, bytes);
        const auto read = test::RunTool({"/usr/bin/identify", "-format", "%w %h %m", (dir / name).string()});
        EXPECT_EQ(read.status, 0) << name;
        EXPECT_EQ(read.out, std::string(c.size) + " BMP3") << name;
    }
}

} // namespace
} // namespace kamo
