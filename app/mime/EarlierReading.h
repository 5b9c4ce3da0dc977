#pragma once
// Mail stored by the decoding before the current one must be found again when its mailbox is read
// again, so that it is brought up to date and not stored twice. While an EarlierReading is alive,
// the decoders on its thread read mail as that decoding did: non-MIME bodies as CP932 with
// ISO-2022-JP runs, undeclared text without the EUC-JP katakana check, blanks stripped from Q
// words, quoted parameters unescaped byte by byte, base64 with a stray byte kept undecoded, the
// nesting bound giving an attachment only, HTML links dropped, the first mailbox of From and To
// cut at the first comma after an "@" with groups not known; uuencoded parts kept as written, an
// mbox "From " line before an embedded message's header taken for its body, a Content-Type of
// parameters only taken for a type, a quote too many before a value giving it empty, an unclosed
// quote taking the rest of the field, an extended parameter without a charset kept undecoded.
namespace kamo {

class EarlierReading {
public:
    EarlierReading();
    ~EarlierReading();
    EarlierReading(const EarlierReading&) = delete;
    EarlierReading& operator=(const EarlierReading&) = delete;

    // True while an EarlierReading is alive on the calling thread.
    static bool Active();

private:
    bool was_;
};

} // namespace kamo
