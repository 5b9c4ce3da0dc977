#include "export/MailExport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "export/MailAttachments.h"
#include "export/MailMessage.h"
#include "platform/FileUtil.h"
#include "search/SearchIndex.h"

namespace kamo {
namespace fs = std::filesystem;
namespace {

[[noreturn]] void Fail(const std::string& what, const fs::path& path, int error) {
    throw std::runtime_error(what + "\n" + path.string() + "\n(" + std::strerror(error) + ")");
}

// Writes a whole file or throws; the descriptor is closed either way.
void WriteWhole(const fs::path& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        Fail("メールのファイルを作成できません。", path, errno);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = errno;
            ::close(fd);
            Fail("メールのファイルを書き込めません。", path, error);
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0)
        Fail("メールのファイルを書き込めません。", path, errno);
}

void MakeFolder(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder))
        Fail("書き出し先のフォルダを作成できません。", folder, ec ? ec.value() : ENOTDIR);
}

class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual std::string_view LineEnd() const { return "\n"; }
    virtual void Add(const MailRecord& mail, const std::string& message) = 0;
    virtual void Finish() = 0;
};

// One file, written beside the target and renamed over it once complete.
class MboxSink : public MessageSink {
public:
    explicit MboxSink(const fs::path& target) : target_(target) {
        const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
        if (fs::is_directory(target))
            Fail("mbox の書き出し先がフォルダです。ファイルを指定して下さい。", target, EISDIR);
        std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0)
            Fail("mbox ファイルを作成できません。", target, errno);
        temp_ = pattern;
        file_ = ::fdopen(fd, "wb");
        if (!file_) {
            ::close(fd);
            Fail("mbox ファイルを作成できません。", target, errno);
        }
        std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
    }
    ~MboxSink() override {
        if (file_)
            std::fclose(file_);
        if (!temp_.empty()) {
            std::error_code ec;
            fs::remove(temp_, ec);
        }
    }
    void Add(const MailRecord& mail, const std::string& message) override {
        const std::string from = MboxFromLine(mail) + "\n";
        const std::string quoted = MboxQuoted(message);
        Put(from);
        Put(quoted);
        Put("\n"); // a blank line before the next "From "
    }
    void Finish() override {
        if (std::fflush(file_) != 0 || ::fsync(::fileno(file_)) != 0)
            Fail("mbox ファイルを書き込めません。", target_, errno);
        // Keep the permissions of a file being replaced; a new one is the user's alone.
        struct stat st {};
        if (::stat(target_.c_str(), &st) == 0)
            ::fchmod(::fileno(file_), st.st_mode & 07777);
        const int closed = std::fclose(file_);
        file_ = nullptr;
        if (closed != 0)
            Fail("mbox ファイルを書き込めません。", target_, errno);
        if (::rename(temp_.c_str(), target_.c_str()) != 0)
            Fail("mbox ファイルを置き換えられません。", target_, errno);
        temp_.clear();
        SyncFolder(target_.parent_path().empty() ? fs::path(".") : target_.parent_path());
    }

private:
    void Put(std::string_view bytes) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
            Fail("mbox ファイルを書き込めません。", target_, errno);
    }
    fs::path target_;
    fs::path temp_;
    std::FILE* file_ = nullptr;
};

std::string HostName() {
    char buf[256] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0 || !buf[0])
        return "localhost";
    // Maildir's own escapes for the two characters a file name part may not hold.
    std::string host;
    for (const char* p = buf; *p; ++p) {
        if (*p == '/')
            host += "\\057";
        else if (*p == ':')
            host += "\\072";
        else
            host += *p;
    }
    return host;
}

class MaildirSink : public MessageSink {
public:
    explicit MaildirSink(const fs::path& folder) : folder_(folder), host_(HostName()) {
        for (const char* sub : {"tmp", "new", "cur"})
            MakeFolder(folder / sub);
        // Mails exported before, wherever a mail program has moved them since and whatever flags it set.
        for (const char* sub : {"new", "cur"}) {
            std::error_code ec;
            for (const auto& entry : fs::directory_iterator(folder / sub, ec)) {
                const std::string name = entry.path().filename().string();
                known_[name.substr(0, name.find(':'))] = entry.path();
            }
        }
    }
    void Add(const MailRecord& mail, const std::string& message) override {
        char unique[64];
        std::snprintf(unique, sizeof unique, "%lld.K%016llx.",
                      static_cast<long long>(MailTime(mail.ymd, mail.hms).value_or(0)),
                      static_cast<unsigned long long>(MailKeyHash(mail)));
        const std::string name = unique + host_;
        const fs::path temp = folder_ / "tmp" / name;
        WriteWhole(temp, message);
        fs::path target;
        if (auto it = known_.find(name); it != known_.end())
            target = it->second;
        else
            target = mail.sent ? folder_ / "cur" / (name + ":2,S") : folder_ / "new" / name;
        if (::rename(temp.c_str(), target.c_str()) != 0) {
            const int error = errno;
            std::error_code ec;
            fs::remove(temp, ec);
            Fail("Maildir にメールを置けません。", target, error);
        }
        known_[name] = target;
    }
    void Finish() override {
        SyncFolder(folder_ / "new");
        SyncFolder(folder_ / "cur");
    }

private:
    fs::path folder_;
    std::string host_;
    std::map<std::string, fs::path> known_;
};

class EmlSink : public MessageSink {
public:
    explicit EmlSink(const fs::path& folder) : folder_(folder) { MakeFolder(folder); }
    std::string_view LineEnd() const override { return "\r\n"; }
    void Add(const MailRecord& mail, const std::string& message) override {
        auto digits = [](const std::string& s, const char* none) {
            std::string d;
            for (char c : s)
                if (c >= '0' && c <= '9')
                    d += c;
            return d.empty() ? std::string(none) : d;
        };
        char key[32];
        std::snprintf(key, sizeof key, "%016llx", static_cast<unsigned long long>(MailKeyHash(mail)));
        const std::string name = digits(mail.ymd, "00000000") + "-" + digits(mail.hms, "000000") + "-" +
                                 std::to_string(mail.subKey) + "-" + (mail.sent ? "s" : "r") + "-" +
                                 std::string(key, 8) + ".eml";
        const fs::path temp = folder_ / ("." + name + ".part");
        WriteWhole(temp, message);
        if (::rename(temp.c_str(), (folder_ / name).c_str()) != 0) {
            const int error = errno;
            std::error_code ec;
            fs::remove(temp, ec);
            Fail("メールのファイルを置けません。", folder_ / name, error);
        }
    }
    void Finish() override { SyncFolder(folder_); }

private:
    fs::path folder_;
};

std::unique_ptr<MessageSink> SinkFor(MailFormat format, const fs::path& target) {
    switch (format) {
    case MailFormat::Mbox:
        return std::make_unique<MboxSink>(target);
    case MailFormat::Maildir:
        return std::make_unique<MaildirSink>(target);
    case MailFormat::Eml:
        break;
    }
    return std::make_unique<EmlSink>(target);
}

void ShowCount(WaitReporter& wait, int64_t done, const std::optional<int64_t>& total) {
    wait.SetLine(3, std::to_string(done) + (total ? " / " + std::to_string(*total) : std::string()) + "  件");
    wait.SetProgress(done, total.value_or(0));
}

} // namespace

const std::vector<MailFormatInfo>& MailFormats() {
    static const std::vector<MailFormatInfo> formats = {
        {MailFormat::Mbox, "mbox", "mbox（1つのファイル）", false},
        {MailFormat::Maildir, "maildir", "Maildir（フォルダ）", true},
        {MailFormat::Eml, "eml", "eml（1通ずつのファイル）", true},
    };
    return formats;
}

std::optional<MailFormat> MailFormatNamed(const std::string& name) {
    for (const auto& f : MailFormats())
        if (name == f.name)
            return f.format;
    return std::nullopt;
}

const MailFormatInfo& InfoOf(MailFormat format) {
    for (const auto& f : MailFormats())
        if (f.format == format)
            return f;
    return MailFormats().front();
}

std::string MboxQuoted(std::string_view message) {
    std::string out;
    out.reserve(message.size() + 16);
    size_t start = 0;
    while (start < message.size()) {
        size_t end = message.find('\n', start);
        end = end == std::string_view::npos ? message.size() : end + 1;
        const std::string_view line = message.substr(start, end - start);
        const size_t quotes = line.find_first_not_of('>');
        if (quotes != std::string_view::npos && line.substr(quotes, 5) == "From ")
            out += '>';
        out.append(line);
        start = end;
    }
    return out;
}

ExportResult ExportMails(SQLite::Database& db, const MailSelection& selection, MailFormat format,
                         const fs::path& target, WaitReporter& wait) {
    WaitScope busy(wait);
    wait.SetLines({"　メールを書き出しています。", "　少々お待ちください。", "", "", InfoOf(format).caption, ""});
    wait.Pump();
    if (selection.kind == MailSelection::Kind::Search)
        UpdateSearchIndex(db, wait);
    auto sink = SinkFor(format, target);
    SelectionStream stream(db, selection);
    const std::optional<int64_t> total = stream.Total();
    MailRowReader reader(db);
    MailAttachmentReader attachments(db);
    ExportResult result;
    result.target = target;
    ShowCount(wait, 0, total);
    std::vector<int64_t> rows;
    bool more = true;
    while (more) {
        rows.clear();
        more = stream.Read(rows, 256);
        for (int64_t row : rows) {
            const std::optional<MailRecord> mail = reader.Read(row);
            if (!mail)
                continue;
            sink->Add(*mail, MailMessageText(*mail, attachments.Read(*mail), sink->LineEnd()));
            if (++result.written % 64 == 0)
                ShowCount(wait, result.written, total);
            wait.Pump();
        }
    }
    sink->Finish();
    ShowCount(wait, result.written, total);
    wait.Pump();
    return result;
}

} // namespace kamo
