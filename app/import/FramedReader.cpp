#include "import/FramedReader.h"

#include <cstring>
#include <sys/stat.h>

#include "mime/MimeBody.h" // BodyFromRaw

namespace kamo {
namespace {

constexpr char kMagic[4] = {'K', 'M', 'F', '1'};

} // namespace

FramedReader::FramedReader(const std::filesystem::path& path) : file_(std::fopen(path.c_str(), "rb")) {
    if (!file_)
        return;
    struct stat st {};
    if (::fstat(::fileno(file_.get()), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    left_ = static_cast<uint64_t>(st.st_size);
    char magic[4];
    open_ = Take(magic, 4) && std::memcmp(magic, kMagic, 4) == 0;
}

bool FramedReader::Take(void* dst, uint64_t n) {
    if (n > left_)
        return false;
    if (n > 0 && std::fread(dst, 1, static_cast<size_t>(n), file_.get()) != n)
        return false;
    left_ -= n;
    return true;
}

bool FramedReader::TakeU64(uint64_t& v, int bytes) {
    unsigned char b[8];
    if (!Take(b, static_cast<uint64_t>(bytes)))
        return false;
    v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= uint64_t(b[i]) << (8 * i);
    return true;
}

bool FramedReader::TakeField(std::string& out) {
    uint64_t n = 0;
    // The length is checked against the file before anything is allocated for it.
    if (!TakeU64(n, 4) || n > left_)
        return false;
    out.resize(static_cast<size_t>(n));
    return Take(out.data(), n);
}

bool FramedReader::Next(FramedEntry& entry) {
    if (!open_ || broken_ || left_ == 0)
        return false;
    char kind = 0;
    entry = FramedEntry{};
    bool ok = Take(&kind, 1) && (kind == 'M' || kind == 'D') && TakeU64(entry.position, 8);
    if (ok && kind == 'D') {
        entry.damaged = true;
        ok = TakeU64(entry.length, 8);
    } else if (ok) {
        TmpMail& m = entry.mail;
        ok = TakeField(m.from) && TakeField(m.to) && TakeField(m.cc) && TakeField(m.subject) && TakeField(m.date) &&
             TakeField(m.header) && TakeField(m.rawBody);
        m.body = BodyFromRaw(m.rawBody);
    }
    if (!ok)
        broken_ = true;
    return ok;
}

MailOriginal OriginalOf(const TmpMail& mail) {
    return {mail.from, mail.to, mail.cc, mail.subject, mail.date, mail.header, mail.rawBody};
}

TmpMail TmpMailOf(MailOriginal original) {
    TmpMail mail;
    mail.from = std::move(original.from);
    mail.to = std::move(original.to);
    mail.cc = std::move(original.cc);
    mail.subject = std::move(original.subject);
    mail.date = std::move(original.date);
    mail.header = std::move(original.header);
    mail.rawBody = std::move(original.body);
    mail.body = BodyFromRaw(mail.rawBody);
    return mail;
}

} // namespace kamo
