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

} // namespace libtest
