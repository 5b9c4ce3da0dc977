#pragma once
// Helpers for the conversion library's tests: a scratch folder, whole-file I/O and the expected text
// of a converted mail, built from the writer's description.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "kamomail.h"
#include "ppwriter/MailboxWriter.h"

namespace libtest {

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

void WriteBytes(const std::filesystem::path& path, const std::string& bytes);
std::string ReadBytes(const std::filesystem::path& path);

// Every LF written as CR LF, as the library writes text.
std::string CrLf(const std::string& bytes);

// The block KamoMail_Edit writes for one intact mail.
std::string ExpectedBlock(const ppw::Mail& mail);
// The blocks of the first n mails, in order.
std::string Blocks(const std::vector<ppw::Mail>& mails, size_t n);

struct EditResult {
    int16_t ret = 0;
    int32_t count = -100;
    int32_t code = -100;
    std::string out;
    bool outExists = false;
};

// Runs KamoMail_Edit on list/mail bytes written into the scratch folder.
EditResult Edit(const ScratchDir& dir, const std::string& list, const std::string& mail);
EditResult EditFiles(const std::filesystem::path& list, const std::filesystem::path& mail,
                     const std::filesystem::path& out);

// What KamoMail_EditFramed wrote, parsed with every length checked.
struct FramedEntry {
    bool damaged = false;
    uint64_t position = 0;
    uint64_t length = 0;             // damaged: bytes up to the next intact record
    std::vector<std::string> fields; // mail: From, To, Cc, Subject, Date, header region, body
};
struct FramedResult {
    int16_t ret = 0;
    int32_t count = -100;
    int32_t code = -100;
    bool wellFormed = false; // the magic, then whole entries up to the end of the file
    std::vector<FramedEntry> entries;
};
FramedResult EditFramedFiles(const std::filesystem::path& list, const std::filesystem::path& mail,
                             const std::filesystem::path& out);
FramedResult EditFramed(const ScratchDir& dir, const ppw::MailboxBytes& box);

} // namespace libtest
