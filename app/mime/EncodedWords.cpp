#include "mime/EncodedWords.h"

#include <vector>

#include "common/AsciiText.h"
#include "mime/EarlierReading.h"
#include "mime/MailCharsets.h"
#include "mime/TransferEncodings.h"

namespace kamo {
namespace {

struct Word {
    std::size_t start = 0;
    std::size_t end = 0; // after "?="
    std::string charset; // lower case, without an RFC 2231 language
    char encoding = 'b'; // 'b' or 'q'
    std::string bytes;   // the encoded text decoded, charset not yet applied
};

bool IsBlank(char c) {
    return kSpaceTabCrLf.find(c) != std::string_view::npos;
}

// Finds "?=" from ever later positions in one pass over the text: a search answers every later
// one that starts no further than the position it found (or, when it found none, every later one).
// A subject of "=?x?b?a" over and over has no close anywhere; searching the rest of it again for
// every start would take time in the square of its length.
class CloseFinder {
public:
    explicit CloseFinder(std::string_view s) : s_(s) {}
    std::size_t From(std::size_t pos) {
        if (!searched_ || pos < from_ || (found_ != std::string_view::npos && pos > found_)) {
            from_ = pos;
            found_ = s_.find("?=", pos);
            searched_ = true;
        }
        return found_;
    }

private:
    std::string_view s_;
    bool searched_ = false;
    std::size_t from_ = 0;
    std::size_t found_ = std::string_view::npos;
};

// One encoded word starting at `pos` ("=?").
bool ReadWord(std::string_view s, std::size_t pos, CloseFinder& closes, Word& word) {
    const std::size_t q1 = s.find('?', pos + 2); // no further than the next "=?"
    if (q1 == std::string_view::npos || q1 + 2 >= s.size() || s[q1 + 2] != '?')
        return false;
    const std::string_view charset = s.substr(pos + 2, q1 - pos - 2);
    const char encoding = ToLowerAscii(s[q1 + 1]);
    const std::size_t textStart = q1 + 3;
    if (charset.empty() || (encoding != 'b' && encoding != 'q'))
        return false;
    const std::size_t close = closes.From(textStart);
    if (close == std::string_view::npos)
        return false;
    if (charset.find_first_of(kSpaceTabCrLf) != std::string_view::npos)
        return false;
    const std::string_view text = s.substr(textStart, close - textStart);
    // Past the start of another word, this is not one word with a stray blank but a broken one.
    if (text.find("=?") != std::string_view::npos)
        return false;
    // Blanks inside a B word are a fold in the wrong place; in a Q word they are the writer's
    // blanks (a raw blank where "_" belongs), and only the line breaks of a fold go.
    const bool keepBlanks = encoding == 'q' && !EarlierReading::Active();
    std::string compact;
    compact.reserve(text.size());
    for (char c : text)
        if (keepBlanks ? (c != '\r' && c != '\n') : !IsBlank(c))
            compact += c;
    word.start = pos;
    word.end = close + 2;
    word.charset = ToLowerAscii(charset.substr(0, charset.find('*')));
    word.encoding = encoding;
    word.bytes = encoding == 'b' ? DecodeBase64(compact) : DecodeQEncoding(compact);
    return true;
}

bool OnlyBlanks(std::string_view s) {
    return TrimAscii(s, kSpaceTabCrLf).empty();
}

// Bytes of text per encoded word: 36 bytes are 48 base64 characters, 60 with "=?UTF-8?B?" and "?=";
// a Q word holds up to 48 characters of its own form.
constexpr size_t kWordBytes = 36;
constexpr size_t kQWordText = 48;

} // namespace

std::string DecodeEncodedWords(std::string_view s) {
    if (s.find("=?") == std::string_view::npos)
        return std::string(s);
    std::string out;
    CloseFinder closes(s);
    std::size_t pos = 0;    // text before here is done
    bool afterWord = false; // the text at `pos` follows a decoded word
    while (pos < s.size()) {
        const std::size_t start = s.find("=?", pos);
        Word first;
        if (start == std::string_view::npos || !ReadWord(s, start, closes, first)) {
            const std::size_t upTo = start == std::string_view::npos ? s.size() : start + 2;
            out.append(s.substr(pos, upTo - pos));
            pos = upTo;
            afterWord = false;
            continue;
        }
        // The run of adjacent words in the same charset and encoding, bytes joined.
        std::string bytes = std::move(first.bytes);
        std::size_t runEnd = first.end;
        for (;;) {
            std::size_t next = runEnd;
            while (next < s.size() && IsBlank(s[next]))
                ++next;
            Word w;
            if (next + 1 >= s.size() || s.compare(next, 2, "=?") != 0 || !ReadWord(s, next, closes, w) ||
                w.charset != first.charset || w.encoding != first.encoding)
                break;
            bytes += w.bytes;
            runEnd = w.end;
        }
        const std::string_view gap = s.substr(pos, start - pos);
        std::string decoded;
        if (!DecodeDeclaredText(first.charset, bytes, decoded)) {
            out.append(s.substr(pos, runEnd - pos)); // unknown charset: the words stay as written
            pos = runEnd;
            afterWord = false;
            continue;
        }
        // Blanks between two adjacent encoded words are not part of the text.
        if (!(afterWord && OnlyBlanks(gap)))
            out.append(gap);
        out += decoded;
        pos = runEnd;
        afterWord = true;
    }
    return out;
}

std::string EncodedWords(std::string_view utf8) {
    // A reader may join neighbouring base64 words before decoding them (GMime does), so a base64
    // word may end in padding only when it is the last one: a piece whose length is no multiple of
    // three goes as a Q word instead, which has no padding.
    std::string words;
    auto boundary = [&](size_t i) { return i >= utf8.size() || !IsUtf8Continuation(utf8[i]); };
    auto add = [&](std::string word) {
        if (!words.empty())
            words += ' ';
        words += word;
    };
    size_t pos = 0;
    while (pos < utf8.size()) {
        if (utf8.size() - pos <= kWordBytes) {
            add("=?UTF-8?B?" + EncodeBase64(utf8.substr(pos)) + "?=");
            break;
        }
        size_t end = pos + kWordBytes - kWordBytes % 3;
        while (end > pos && !boundary(end))
            end -= 3;
        if (end > pos) {
            add("=?UTF-8?B?" + EncodeBase64(utf8.substr(pos, end - pos)) + "?=");
            pos = end;
            continue;
        }
        std::string q;
        for (end = pos; end < utf8.size();) {
            size_t next = end + 1;
            while (!boundary(next))
                ++next;
            const std::string piece = EncodeQEncoding(utf8.substr(end, next - end));
            if (!q.empty() && q.size() + piece.size() > kQWordText)
                break;
            q += piece;
            end = next;
        }
        add("=?UTF-8?Q?" + q + "?=");
        pos = end;
    }
    return words;
}

bool IsPlainText(std::string_view text, size_t maxWord) {
    if (text.empty() || text.front() == ' ' || text.back() == ' ' || text.find("=?") != std::string_view::npos ||
        text.find("  ") != std::string_view::npos)
        return false;
    size_t word = 0;
    for (char c : text) {
        if (c < 0x20 || c > 0x7E)
            return false;
        word = c == ' ' ? 0 : word + 1;
        if (word > maxWord)
            return false;
    }
    return true;
}

} // namespace kamo
