#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>

#include "ppwriter/MailboxWriter.h"

namespace ppw {
namespace {

struct Person {
    const char* family;
    const char* given;
    const char* romaji;
};

// Names include characters whose CP932 second byte is 0x7C or 0x5C (弓 鋼 能 表 ポ) and CP932-only 髙.
constexpr Person kPeople[] = {
    {"山田", "花子", "hanako"},    {"佐藤", "健一", "kenichi"},  {"鈴木", "真弓", "mayumi"},  {"髙橋", "翔", "sho"},
    {"田中", "美穂", "miho"},      {"能登", "さくら", "sakura"}, {"弓削", "太郎", "taro"},    {"渡辺", "由美", "yumi"},
    {"表", "ポン太", "ponta"},     {"中村", "愛", "ai"},         {"小林", "鋼一", "koichi"},  {"伊藤", "ポポ", "popo"},
    {"加藤", "ソフィア", "sofia"}, {"吉田", "誠", "makoto"},     {"松本", "千尋", "chihiro"},
};

constexpr const char* kDomains[] = {"example.jp", "example.ne.jp", "so-net.example.ne.jp", "mail.example.co.jp",
                                    "docomo.example.ne.jp"};

constexpr const char* kSubjects[] = {
    "お元気ですか？",
    "ポストペットのポチより",
    "【重要】\"例の件\"について",
    "鋼の弓, 酢の物 | 今週の献立表",
    "能登旅行の写真①",
    "㈱ポスペ商事からのお知らせ",
    "Re: 明日の予定",
    "今日は～楽しかった！",
    "'引っ越し'しました",
    "髙橋です、よろしく",
    "ポ|ポ|ポ",
    "表計算ソフトの件",
    "Fw: \"クマ\"の写真, 2枚",
    "お誕生日おめでとう♪",
    "月曜の会議について（議事録）",
    "Meeting on Monday",
    "",
};

constexpr const char* kSentences[] = {
    "こんにちは。お元気ですか？",
    "先日はありがとうございました。",
    "ポストペットのモモが、メールを運んでくれました。",
    "来週の土曜日、\"いつもの店\"で会いませんか？",
    "時間は18時, 場所は駅前 | 雨なら中止です。",
    "鋼の弓と酢の物の話は、また今度。",
    "能登の表通りで①番目の店に入りました。",
    "㈱ポスペ商事の髙橋さんによろしく～",
    "It's a small world, isn't it?",
    "写真を添付しようとしたけど、うまくいきませんでした。",
    "では、また。",
    "PS. 'ポチ'がよろしくと言っています。",
    "--",
    "本日は晴天なり。ポポポ。",
    "金額は 1,200円 です。",
};

constexpr const char* kPetNames[] = {"モモ", "ポチ", "コモモ", "ミッキ", "ジョン", "ポポ"};

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

template <typename T, size_t N> constexpr size_t Count(const T (&)[N]) {
    return N;
}

std::string Address(const Person& p, size_t domain) {
    return std::string(p.romaji) + "@" + kDomains[domain];
}

} // namespace

MailGenerator::MailGenerator(uint64_t seed) : rng_(seed) {}

// Not std::uniform_int_distribution: its output differs between standard libraries.
uint64_t MailGenerator::Pick(uint64_t n) {
    return n ? rng_() % n : 0;
}

std::string MailGenerator::Person() {
    const auto& p = kPeople[Pick(Count(kPeople))];
    const std::string name = std::string(p.family) + " " + p.given;
    const std::string addr = Address(p, Pick(Count(kDomains)));
    switch (Pick(8)) {
    case 0:
        return addr;
    case 1:
        return addr + " (" + name + ")";
    case 2:
        return "\"" + std::string(p.family) + ", " + p.given + "\" <" + addr + ">";
    case 3:
        return EncodedWord(name) + " <" + addr + ">";
    default:
        return name + " <" + addr + ">";
    }
}

std::string MailGenerator::Subject() {
    std::string s = kSubjects[Pick(Count(kSubjects))];
    if (!s.empty() && Pick(6) == 0)
        return EncodedWord(s);
    return s;
}

std::string MailGenerator::Date() {
    using namespace std::chrono;
    // Some moment between 1999-01-01 and 2002-12-31 (PostPet 2.0's years).
    const sys_days first = year{1999} / January / 1;
    const int64_t seconds = static_cast<int64_t>(Pick(4ull * 365 * 86400));
    const sys_seconds t = sys_seconds(first) + std::chrono::seconds(seconds);
    const sys_days day = floor<days>(t);
    const year_month_day ymd(day);
    const hh_mm_ss<std::chrono::seconds> hms(t - day);
    const unsigned wd = weekday(day).c_encoding();
    const int y = static_cast<int>(ymd.year());
    const unsigned m = static_cast<unsigned>(ymd.month());
    const unsigned d = static_cast<unsigned>(ymd.day());
    const auto h = hms.hours().count();
    const auto mi = hms.minutes().count();
    const auto se = hms.seconds().count();
    char buf[80];
    switch (Pick(10)) {
    case 0: // no day name
        std::snprintf(buf, sizeof buf, "%02u %s %d %02d:%02d:%02d +0900", d, kMonths[m - 1], y, int(h), int(mi),
                      int(se));
        break;
    case 1: // no seconds, day without a leading zero
        std::snprintf(buf, sizeof buf, "%s, %u %s %d %02d:%02d +0900", kDays[wd], d, kMonths[m - 1], y, int(h),
                      int(mi));
        break;
    case 2: // two-digit year
        std::snprintf(buf, sizeof buf, "%s, %02u %s %02d %02d:%02d:%02d +0900", kDays[wd], d, kMonths[m - 1], y % 100,
                      int(h), int(mi), int(se));
        break;
    case 3: // zone name
        std::snprintf(buf, sizeof buf, "%s, %02u %s %d %02d:%02d:%02d JST", kDays[wd], d, kMonths[m - 1], y, int(h),
                      int(mi), int(se));
        break;
    case 4: // zone name and comment
        std::snprintf(buf, sizeof buf, "%s, %02u %s %d %02d:%02d:%02d GMT", kDays[wd], d, kMonths[m - 1], y, int(h),
                      int(mi), int(se));
        break;
    case 5:
        std::snprintf(buf, sizeof buf, "%s, %02u %s %d %02d:%02d:%02d +0900 (JST)", kDays[wd], d, kMonths[m - 1], y,
                      int(h), int(mi), int(se));
        break;
    default:
        std::snprintf(buf, sizeof buf, "%s, %02u %s %d %02d:%02d:%02d +0900", kDays[wd], d, kMonths[m - 1], y, int(h),
                      int(mi), int(se));
        break;
    }
    return buf;
}

std::string MailGenerator::Body(size_t paragraphs) {
    std::vector<std::string> lines;
    for (size_t p = 0; p < paragraphs; ++p) {
        const size_t n = 1 + Pick(4);
        for (size_t i = 0; i < n; ++i)
            lines.emplace_back(kSentences[Pick(Count(kSentences))]);
        lines.emplace_back("");
    }
    lines.emplace_back(std::string(kPetNames[Pick(Count(kPetNames))]) + "より");
    return CrLfLines(lines) + "\r\n";
}

Trailer MailGenerator::MakeTrailer() {
    Trailer t;
    switch (Pick(6)) {
    case 0: // just the terminating zero
        break;
    case 1: // a group of two strings
        t.groupCount = 3;
        t.groupStrings = {ToCp932(kPetNames[Pick(Count(kPetNames))]), "PP2"};
        break;
    case 2: // ordinary bytes, then a group of one string and a tail
        t.lead = "PPW";
        t.groupCount = 2;
        t.groupStrings = {ToCp932(kPetNames[Pick(Count(kPetNames))])};
        t.tail = "ok";
        break;
    case 3: // twenty ordinary bytes: the 21st is the group count whatever its value
        t.lead = "ABCDEFGHIJKLMNOPQRST";
        t.groupCount = 0x12;
        t.groupStrings.assign(0x11, "x");
        break;
    case 4: // a negative group count reads no strings
        t.groupCount = 0x90;
        t.tail = "zz";
        break;
    default: // a group count of zero ends the trailer at once
        t.groupCount = 0;
        break;
    }
    return t;
}

Mail MailGenerator::Make(std::optional<bool> sent, const std::string& ownerUtf8) {
    Mail m;
    m.raw = true;
    const std::string other = Person();
    const std::string owner = ownerUtf8.empty() ? Person() : ownerUtf8;
    const bool isSent = sent.value_or(false);
    m.from = ToCp932(isSent ? owner : other);
    m.to = ToCp932(isSent ? other : (sent ? owner : Person()));
    if (Pick(4) == 0)
        m.cc = ToCp932(Person() + ", " + Person());
    m.subject = ToCp932(Subject());
    m.date = Date();
    const uint64_t shape = Pick(20);
    if (shape == 0) {
        m.body = ToIso2022Jp(Body(2 + Pick(3))); // as it travelled, undecoded
        m.header = "From: " + m.from + "\r\nSubject: " + m.subject + "\r\nDate: " + m.date +
                   "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n"
                   "Content-Transfer-Encoding: 7bit\r\n\r\n";
    } else if (shape == 1) {
        m.body = ToCp932(Body(40 + Pick(80))); // long body
    } else if (shape == 2) {
        m.body.clear(); // empty body
    } else if (shape == 3) {
        m.body = ToCp932(Body(1)) + "\n" + ToCp932("改行が LF だけの行\n"); // stray bare LF line breaks
    } else {
        m.body = ToCp932(Body(1 + Pick(4)));
    }
    m.trailer = MakeTrailer();
    for (auto& b : m.four)
        b = static_cast<uint8_t>(Pick(256));
    for (auto& b : m.two)
        b = static_cast<uint8_t>(Pick(256));
    return m;
}

Mail MailGenerator::Next() {
    return Make(std::nullopt, {});
}
Mail MailGenerator::NextSent(const std::string& ownerUtf8) {
    return Make(true, ownerUtf8);
}
Mail MailGenerator::NextReceived(const std::string& ownerUtf8) {
    return Make(false, ownerUtf8);
}

Friend MailGenerator::NextFriend() {
    const auto& p = kPeople[Pick(Count(kPeople))];
    Friend f;
    f.raw = true;
    f.petKind = static_cast<uint32_t>(Pick(16));
    f.petName = ToCp932(kPetNames[Pick(Count(kPetNames))]);
    f.ownerName = ToCp932(std::string(p.family) + " " + p.given);
    f.address = Address(p, Pick(Count(kDomains)));
    f.mailCount = static_cast<uint32_t>(Pick(400));
    return f;
}

void WriteLargeMailbox(const std::filesystem::path& listPath, const std::filesystem::path& mailPath, uint64_t n,
                       uint64_t seed) {
    MailGenerator gen(seed);
    MailboxWriter w(listPath, mailPath);
    for (uint64_t i = 0; i < n; ++i)
        w.Add(gen.Next());
    w.Close();
}

std::vector<MailboxName> PostPetMailboxes() {
    std::vector<MailboxName> boxes = {
        {"inbox", "受信フォルダ/受信リスト.ppl", "受信フォルダ/受信メール.ppm"},
        {"outbox", "送信フォルダ/送信リスト.ppl", "送信フォルダ/送信メール.ppm"},
    };
    for (const char* colour : {"ピンク", "黄色", "紫", "緑色", "黒", "水色", "赤", "茶色", "橙色"})
        boxes.push_back({colour, std::string(colour) + "の引出しリスト.ppl", std::string(colour) + "の引出し.ppm"});
    return boxes;
}

namespace {

std::filesystem::path NamePath(const std::filesystem::path& dir, const std::string& relUtf8, bool cp932) {
    std::filesystem::path p = dir;
    size_t start = 0;
    while (start <= relUtf8.size()) {
        size_t slash = relUtf8.find('/', start);
        const std::string part = relUtf8.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        p /= cp932 ? ToCp932(part) : part;
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return p;
}

// A hand-written mail of the kind the importer must decode: ISO-2022-JP body, encoded-word subject and name.
Mail EncodedMail(const std::string& owner) {
    Mail m;
    m.from = EncodedWord("ポスペ 太郎") + " <postpe@example.ne.jp>";
    m.to = owner;
    m.subject = EncodedWord("\"表\"と'鋼', ポ|弓");
    m.date = "Tue, 04 Sep 2001 21:05:33 +0900";
    m.raw = false;
    m.body = ToIso2022Jp("こんにちは、ポスペ太郎です。\r\n引出しの整理をしました｜①②③\r\n");
    m.trailer.groupCount = 3;
    m.trailer.groupStrings = {ToCp932("モモ"), "PP2"};
    return m;
}

} // namespace

std::string PictureBytes(uint32_t width, uint32_t height, uint64_t seed) {
    std::mt19937_64 rng(seed);
    const uint32_t rowBytes = (width + 3) / 4 * 4;
    const uint32_t pixelStart = 14 + 40 + 256 * 4;
    const uint32_t fileSize = pixelStart + rowBytes * height;
    std::string b;
    b.reserve(fileSize);
    auto put16 = [&](uint32_t v) {
        b += static_cast<char>(v & 0xFF);
        b += static_cast<char>((v >> 8) & 0xFF);
    };
    auto put32 = [&](uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    b += "BM";
    put32(fileSize);
    put32(0);
    put32(pixelStart);
    put32(40); // BITMAPINFOHEADER
    put32(width);
    put32(height);
    put16(1);
    put16(8);
    put32(0); // no compression
    put32(rowBytes * height);
    put32(2835); // 72 dpi
    put32(2835);
    put32(256);
    put32(0);
    // The palette runs from one colour to another; entries are blue, green, red, 0.
    uint8_t from[3], to[3];
    for (int c = 0; c < 3; ++c) {
        from[c] = static_cast<uint8_t>(rng() % 256);
        to[c] = static_cast<uint8_t>(rng() % 256);
    }
    for (int i = 0; i < 256; ++i) {
        for (int c = 0; c < 3; ++c)
            b += static_cast<char>((from[c] * (255 - i) + to[c] * i) / 255);
        b += '\0';
    }
    const int64_t cx = static_cast<int64_t>(rng() % width), cy = static_cast<int64_t>(rng() % height);
    const int64_t r = std::max<int64_t>(8, std::min(width, height) / 4);
    for (uint32_t y = 0; y < height; ++y) { // bottom row first
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t v = (x * 255 / width + y * 255 / height) / 2;
            const int64_t dx = static_cast<int64_t>(x) - cx, dy = static_cast<int64_t>(y) - cy;
            if (dx * dx + dy * dy < r * r)
                v = 255 - v;
            b += static_cast<char>(v);
        }
        b.append(rowBytes - width, '\0');
    }
    return b;
}

Mail PictureMail(Mail mail, uint64_t n) {
    static constexpr uint32_t kShapes[3][2] = {{640, 480}, {480, 640}, {1024, 768}};
    const auto& shape = kShapes[n % 3];
    const std::string name = "photo" + std::to_string(n) + ".bmp";
    // A body written as it travelled (it came with its own header) keeps its charset.
    const char* charset = mail.header ? "ISO-2022-JP" : "Shift_JIS";
    mail.header =
        "From: " + mail.from + "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"pic\"\r\n\r\n";
    mail.body = Multipart("pic", {std::string("Content-Type: text/plain; charset=") + charset + "\r\n\r\n" + mail.body,
                                  "Content-Type: image/bmp; name=\"" + name +
                                      "\"\r\nContent-Transfer-Encoding: base64\r\n"
                                      "Content-Disposition: attachment; filename=\"" +
                                      name + "\"\r\n\r\n" + Base64(PictureBytes(shape[0], shape[1], n))});
    return mail;
}

std::vector<SampleMailbox> WriteSampleFolder(const std::filesystem::path& dir, const SampleOptions& options) {
    const std::string owner = std::string(kSampleOwnerName) + " <" + kSampleOwnerAddress + ">";
    MailGenerator gen(options.seed);
    const auto boxes = PostPetMailboxes();

    std::vector<std::vector<Mail>> contents(boxes.size());
    auto& inbox = contents[0];
    auto& outbox = contents[1];
    inbox.push_back(EncodedMail(owner));
    for (int i = 0; i < 11; ++i)
        inbox.push_back(gen.NextReceived(owner));
    for (int i = 0; i < 6; ++i)
        outbox.push_back(gen.NextSent(owner));
    // Drawers: ピンク 黄色 紫 緑色 黒 水色 赤 茶色 橙色 (indexes 2..10); 紫, 黒 and 茶色 stay empty.
    contents[2] = {inbox[1], inbox[2], gen.NextSent(owner)}; // mail kept in the inbox as well
    contents[3] = {gen.NextReceived(owner), gen.NextSent(owner), outbox[0], gen.NextReceived(owner)};
    contents[5] = {inbox[3], gen.NextReceived(owner)};
    contents[7] = {gen.NextReceived(owner), gen.NextReceived(owner), gen.NextReceived(owner)};
    Mail longMail = gen.NextReceived(owner);
    longMail.body.clear();
    for (int i = 0; i < 60; ++i)
        longMail.body += ToCp932("長いメールです。ポ|鋼|弓, \"引用\" の行が続きます。\r\n");
    contents[8] = {longMail};
    contents[10] = {gen.NextReceived(owner), inbox[0]};
    for (uint64_t i = 0; i < options.moreMails; ++i) {
        const bool sent = i % 4 == 3;
        Mail m = sent ? gen.NextSent(owner) : gen.NextReceived(owner);
        if (options.pictureEvery != 0 && i % options.pictureEvery == 0)
            m = PictureMail(std::move(m), i / options.pictureEvery);
        (sent ? outbox : inbox).push_back(std::move(m));
    }

    std::vector<SampleMailbox> written;
    std::filesystem::create_directories(dir);
    for (size_t i = 0; i < boxes.size(); ++i) {
        SampleMailbox s;
        s.name = boxes[i];
        s.list = NamePath(dir, boxes[i].list, options.cp932Names);
        s.mail = NamePath(dir, boxes[i].mail, options.cp932Names);
        s.mails = contents[i].size();
        std::filesystem::create_directories(s.list.parent_path());
        WriteMailbox(s.list, s.mail, contents[i]);
        written.push_back(std::move(s));
    }

    std::vector<Friend> friends;
    friends.push_back({10, "モモ", kSampleOwnerName, kSampleOwnerAddress, 255, false});
    friends.push_back({1, "ポチ", "\"ポスペ\" 太郎, 弓", "postpe@example.ne.jp", 42, false});
    for (int i = 0; i < 5; ++i)
        friends.push_back(gen.NextFriend());
    WriteFriendFile(dir / kFriendFileName, friends);
    return written;
}

} // namespace ppw
