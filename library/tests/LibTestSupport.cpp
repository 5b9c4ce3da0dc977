#include "LibTestSupport.h"

#include <atomic>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace libtest {

ScratchDir::ScratchDir() {
    static std::atomic<int> serial{0};
    path_ = std::filesystem::temp_directory_path() /
            ("kamomail-lib-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string CrLf(const std::string& bytes) {
    std::string out;
    for (char c : bytes) {
        if (c == '\n')
            out += "\r\n";
        else
            out.push_back(c);
    }
    return out;
}

std::string ExpectedBlock(const ppw::Mail& m) {
    auto f = [&](const std::string& text) { return CrLf(ppw::FieldBytes(m, text)); };
    return "<Start>\r\nFrom " + f(m.from) + "\r\nTo " + f(m.to) + "\r\nCc " + f(m.cc) + "\r\nSubject " + f(m.subject) +
           "\r\nDate " + f(m.date) + "\r\nMail\r\n" + f(m.body) + "\r\n<End>\r\n";
}

std::string Blocks(const std::vector<ppw::Mail>& mails, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i)
        out += ExpectedBlock(mails[i]);
    return out;
}

EditResult EditFiles(const std::filesystem::path& list, const std::filesystem::path& mail,
                     const std::filesystem::path& out) {
    EditResult r;
    r.ret = KamoMail_Edit(list.c_str(), mail.c_str(), out.c_str(), &r.count, &r.code);
    r.outExists = std::filesystem::exists(out);
    if (r.outExists)
        r.out = ReadBytes(out);
    return r;
}

EditResult Edit(const ScratchDir& dir, const std::string& list, const std::string& mail) {
    WriteBytes(dir / "box.ppl", list);
    WriteBytes(dir / "box.ppm", mail);
    return EditFiles(dir / "box.ppl", dir / "box.ppm", dir / "KamoMail.Tmp");
}

namespace {

bool TakeU(const std::string& in, size_t& at, size_t bytes, uint64_t& v) {
    if (in.size() - at < bytes)
        return false;
    v = 0;
    for (size_t i = 0; i < bytes; ++i)
        v |= uint64_t(static_cast<unsigned char>(in[at + i])) << (8 * i);
    at += bytes;
    return true;
}

bool ParseFramed(const std::string& in, std::vector<FramedEntry>& entries) {
    if (in.compare(0, 4, "KMF1") != 0)
        return false;
    size_t at = 4;
    while (at < in.size()) {
        FramedEntry e;
        const char kind = in[at++];
        if (kind != 'M' && kind != 'D')
            return false;
        e.damaged = kind == 'D';
        if (!TakeU(in, at, 8, e.position))
            return false;
        if (e.damaged) {
            if (!TakeU(in, at, 8, e.length))
                return false;
        } else {
            for (int f = 0; f < 7; ++f) {
                uint64_t n = 0;
                if (!TakeU(in, at, 4, n) || in.size() - at < n)
                    return false;
                e.fields.push_back(in.substr(at, n));
                at += n;
            }
        }
        entries.push_back(std::move(e));
    }
    return true;
}

} // namespace

FramedResult EditFramedFiles(const std::filesystem::path& list, const std::filesystem::path& mail,
                             const std::filesystem::path& out) {
    FramedResult r;
    std::filesystem::remove(out);
    r.ret = KamoMail_EditFramed(list.c_str(), mail.c_str(), out.c_str(), &r.count, &r.code);
    if (std::filesystem::exists(out))
        r.wellFormed = ParseFramed(ReadBytes(out), r.entries);
    return r;
}

FramedResult EditFramed(const ScratchDir& dir, const ppw::MailboxBytes& box) {
    WriteBytes(dir / "box.ppl", box.list);
    WriteBytes(dir / "box.ppm", box.mail);
    return EditFramedFiles(dir / "box.ppl", dir / "box.ppm", dir / "KamoMail.Tmp");
}

} // namespace libtest
