#pragma once
// ppwriter: writes PostPet for Windows 2.0 mailboxes (.ppl list file + .ppm mail file), friend files and
// whole sample PostPet folders. Tests, benchmarks, fuzz seeds and the demo take all their PostPet data
// from here; nothing else in the project writes these formats.
//
// File formats written (all integers unsigned 32-bit little-endian, all text CP932 bytes):
//
//   list record:  "SsS1" | L | A | B | C | four bytes | From\0 To\0 Cc\0 Subject\0 Date\0 | two bytes |
//                 trailer | "EeE1"
//                 L = bytes from the A field up to the end marker; A = header region offset in the mail
//                 file, B = body offset (header region is A..B), C = body length.
//   mail file:    for each mail its header region ("From: ...\r\n...\r\n\r\n" unless given) then its body.
//   friend file:  pet kind (u32) | len(u8) pet name | len(u8) owner name | len(u8) address | mail count (u32)
//
// Text given in a description is UTF-8 and is written as CP932 (characters CP932 lacks become '?'),
// unless the description's `raw` flag is set: then the bytes are written exactly as given. ASCII-only
// text (ISO-2022-JP bodies, RFC 2047 encoded words) comes out unchanged either way.
//
// Errors (a file that cannot be written, an inconsistent description) throw std::runtime_error.
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace ppw {

// The friend file's name inside the PostPet folder, as WriteSampleFolder writes it.
inline constexpr const char* kFriendFileName = "Friend.dat";

// The user of the sample folder (the owner of the sent mail): matches the demo's settings.
inline constexpr const char* kSampleOwnerAddress = "kamo@example.jp";
inline constexpr const char* kSampleOwnerName = "かも";

// ---- text helpers -------------------------------------------------------------------------------

// UTF-8 -> CP932 (windows-31j). Characters CP932 lacks become '?'.
std::string ToCp932(std::string_view utf8);
// UTF-8 -> ISO-2022-JP bytes (7-bit, with ESC $ B / ESC ( B sequences), as Japanese mail bodies travel.
std::string ToIso2022Jp(std::string_view utf8);
// UTF-8 -> one RFC 2047 encoded word "=?ISO-2022-JP?B?...?=".
std::string EncodedWord(std::string_view utf8);
// UTF-8 -> the bytes of any character set ICU knows ("EUC-JP", "UTF-16BE", ...); '?' for what it lacks.
std::string ToCharset(std::string_view utf8, const char* charset);

// ---- MIME (mail that carries its own MIME header fields in `Mail::header`) ----------------------

// Base64 of `bytes`, with CR LF after every `lineLength` characters (0: one line).
std::string Base64(std::string_view bytes, size_t lineLength = 76);
// Quoted-printable of `bytes`: CR LF stays a line break, lines longer than 76 get soft breaks.
std::string QuotedPrintable(std::string_view bytes);
// A multipart body: a preamble line, then each part (its header fields, an empty line and its body)
// after a delimiter line "--boundary", then the close "--boundary--".
std::string Multipart(const std::string& boundary, const std::vector<std::string>& parts);
// Joins lines with CR LF (PostPet keeps bodies with CR LF line breaks).
std::string CrLfLines(const std::vector<std::string>& lines);

// ---- list trailer -------------------------------------------------------------------------------

// The variable section in front of the end marker. A reader steps over it byte by byte: the first
// bytes are "ordinary" while they lie in 0x10..0x7F; the first byte that does not (or the 21st byte,
// whatever its value) is the group count n (signed); for n >= 2, n - 1 zero-terminated strings follow,
// each followed by one further byte; the further byte after the last string either is 0 (end) or is
// the first of the tail. The tail is ordinary bytes up to a terminating 0.
struct Trailer {
    std::string lead;                      // ordinary bytes before the group count, each 0x10..0x7F, at most 20
    std::optional<uint8_t> groupCount;     // absent: the trailer is lead + 0 (lead may be empty: just 0)
    std::vector<std::string> groupStrings; // n - 1 strings when the signed count n >= 2, else none
    uint8_t separator = 0x01;              // the further byte after each group string but the last
    std::string tail;                      // non-zero bytes after the group, then 0
    std::optional<std::string> raw;        // write exactly these bytes instead (damage tests)
};

// The trailer's bytes. Throws std::runtime_error when the description would not read back as written
// (a lead byte outside 0x10..0x7F, a zero inside a string or the tail, the wrong number of strings).
std::string TrailerBytes(const Trailer& trailer);

// ---- mails and damage ---------------------------------------------------------------------------

// Deliberate damage to one list record.
struct Damage {
    std::optional<std::string> startMarker; // 4 bytes written instead of "SsS1"
    std::optional<std::string> endMarker;   // 4 bytes written instead of "EeE1"
    std::optional<uint32_t> recordLength;   // written instead of the true L
    std::optional<uint32_t> headerOffset;   // written instead of the true A
    std::optional<uint32_t> bodyOffset;     // written instead of the true B
    std::optional<uint32_t> bodyLength;     // written instead of the true C
    // Only the first cutAfter bytes of this record are written, and the list file ends there
    // (later mails of the same call are not written to the list; their mail data still is).
    std::optional<size_t> cutAfter;
};

struct Mail {
    std::string from, to, cc, subject, date; // e.g. "山田 花子 <hanako@example.jp>", "Tue, 04 Sep 2001 ..."
    std::string body;                        // stored verbatim in the mail file (give CR LF line breaks)
    std::optional<std::string> header;       // header region; default "From: ..\r\nTo: ..\r\n..\r\n\r\n"
    Trailer trailer;                         // default: the trailer is one zero byte
    std::array<uint8_t, 4> four{};           // the four uninterpreted bytes after C
    std::array<uint8_t, 2> two{};            // the two uninterpreted bytes after Date
    bool raw = false;                        // fields, header and body are CP932 bytes already
    Damage damage;
};

// The CP932 bytes that a field or body of `mail` is written as.
std::string FieldBytes(const Mail& mail, const std::string& text);

// Streams a mailbox: one list record and one mail-file entry per Add. Memory stays flat.
class MailboxWriter {
public:
    MailboxWriter(const std::filesystem::path& listPath, const std::filesystem::path& mailPath);
    ~MailboxWriter();
    MailboxWriter(const MailboxWriter&) = delete;
    MailboxWriter& operator=(const MailboxWriter&) = delete;

    void Add(const Mail& mail);
    // Flushes and closes both files; throws when a write failed. The destructor closes silently.
    void Close();

private:
    std::ofstream list_;
    std::ofstream mail_;
    std::vector<char> listBuf_;
    std::vector<char> mailBuf_;
    uint64_t mailPos_ = 0;
    bool listEnded_ = false;
    std::filesystem::path listPath_;
};

// Writes a whole mailbox (both files created or replaced).
void WriteMailbox(const std::filesystem::path& listPath, const std::filesystem::path& mailPath,
                  const std::vector<Mail>& mails);

// The same mailbox as bytes in memory (list file, mail file).
struct MailboxBytes {
    std::string list;
    std::string mail;
};
MailboxBytes BuildMailbox(const std::vector<Mail>& mails);

// ---- friend file --------------------------------------------------------------------------------

struct Friend {
    uint32_t petKind = 0;
    std::string petName, ownerName, address; // up to 255 bytes each once in CP932 (PostPet keeps 63)
    uint32_t mailCount = 0;
    bool raw = false; // fields are CP932 bytes already
};

std::string FriendFileBytes(const std::vector<Friend>& friends);
void WriteFriendFile(const std::filesystem::path& path, const std::vector<Friend>& friends);

// ---- realistic content --------------------------------------------------------------------------

// Realistic Japanese mail, deterministic for a seed: names, subjects with quotes, commas and bars,
// ポ and other characters whose second byte is 0x7C (弓 鋼 酢) or 0x5C (表 能), CP932-only characters
// (① ㈱ 髙 ～), empty Cc, long bodies with CR LF line breaks, ISO-2022-JP bodies, RFC 2047 subjects and
// senders, RFC 2822 dates ("Tue, 04 Sep 2001 21:05:33 +0900") and variants (no day name, no seconds,
// two-digit year, zone names). Mails come out with raw = true (fields already CP932 bytes).
class MailGenerator {
public:
    explicit MailGenerator(uint64_t seed);
    Mail Next();
    // A mail sent by the owner (From = the owner) or received by the owner (To = the owner).
    Mail NextSent(const std::string& ownerUtf8);
    Mail NextReceived(const std::string& ownerUtf8);
    Friend NextFriend();

private:
    uint64_t Pick(uint64_t n);
    Mail Make(std::optional<bool> sent, const std::string& ownerUtf8);
    std::string Person();
    std::string Subject();
    std::string Date();
    std::string Body(size_t paragraphs);
    Trailer MakeTrailer();
    std::mt19937_64 rng_;
};

// Writes n generated mails (seeded) to a mailbox, streaming: memory does not grow with n.
void WriteLargeMailbox(const std::filesystem::path& listPath, const std::filesystem::path& mailPath, uint64_t n,
                       uint64_t seed);

// ---- sample PostPet folder ----------------------------------------------------------------------

// One of PostPet's eleven mailboxes, paths relative to the PostPet folder, UTF-8.
struct MailboxName {
    std::string key;  // "inbox", "outbox", or the drawer's colour ("ピンク" ...)
    std::string list; // e.g. "受信フォルダ/受信リスト.ppl", "ピンクの引出しリスト.ppl"
    std::string mail; // e.g. "受信フォルダ/受信メール.ppm", "ピンクの引出し.ppm"
};
// Inbox, outbox, then the drawers ピンク 黄色 紫 緑色 黒 水色 赤 茶色 橙色 (directly in the folder).
std::vector<MailboxName> PostPetMailboxes();

struct SampleOptions {
    bool cp932Names = false; // file and folder names as CP932 bytes instead of UTF-8
    uint64_t seed = 2001;
    // Generated mail beyond the hand-made ones, three received to one sent; every pictureEvery-th
    // of them (0: none) carries a picture (PictureMail).
    uint64_t moreMails = 0;
    uint64_t pictureEvery = 0;
};

// An uncompressed 8-bit BMP of width x height: a colour gradient with a disc, its colours and place
// drawn from `seed`. Standard library only, so the writer needs no image library.
std::string PictureBytes(uint32_t width, uint32_t height, uint64_t seed);

// `mail` as a multipart mail: its text, then a picture attachment "photoN.bmp" (image/bmp, base64)
// of one of three shapes by n: 640x480 landscape, 480x640 portrait, 1024x768 larger than a pane.
Mail PictureMail(Mail mail, uint64_t n);

struct SampleMailbox {
    MailboxName name;
    std::filesystem::path list; // as written (CP932 byte names when asked)
    std::filesystem::path mail;
    size_t mails = 0;
};

// Writes a whole PostPet folder into dir (created if missing): the eleven mailboxes (some empty: zero-byte
// files; some holding the same mail as another), ISO-2022-JP and RFC 2047 mail among them, and the friend
// file kFriendFileName. Returns what was written, in PostPetMailboxes() order.
std::vector<SampleMailbox> WriteSampleFolder(const std::filesystem::path& dir, const SampleOptions& options = {});

} // namespace ppw
