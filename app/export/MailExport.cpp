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

#include "db/Backups.h"
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

// Writes a whole file the one way (a private temporary, renamed into place) or throws. A link at
// the name is refused, never written through.
void WriteWhole(const fs::path& path, std::string_view bytes, unsigned mode, const fs::path& tempFolder = {}) {
    FileWriter out(path, PrivateFile(mode), tempFolder);
    if (!out.Ok())
        Fail(out.Error() == ELOOP ? "書き出し先がシンボリックリンクです。書き出しません。"
                                  : "メールのファイルを作成できません。",
             path, out.Error());
    if (!out.Write(bytes) || !out.Commit())
        Fail(out.Error() == ELOOP ? "書き出し先がシンボリックリンクです。書き出しません。"
                                  : "メールのファイルを書き込めません。",
             path, out.Error());
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

// One file, written the one way: complete or not at all.
class MboxSink : public MessageSink {
public:
    MboxSink(const fs::path& target, unsigned mode) : target_(target) {
        if (fs::is_directory(target))
            Fail("mbox の書き出し先がフォルダです。ファイルを指定して下さい。", target, EISDIR);
        out_ = std::make_unique<FileWriter>(target, PrivateFile(mode));
        if (!out_->Ok())
            Fail(out_->Error() == ELOOP ? "書き出し先がシンボリックリンクです。書き出しません。"
                                        : "mbox ファイルを作成できません。",
                 target, out_->Error());
        buffer_.reserve(kBuffer);
    }
    void Add(const MailRecord& mail, const std::string& message) override {
        Put(MboxFromLine(mail) + "\n");
        Put(MboxQuoted(message));
        Put("\n"); // a blank line before the next "From "
    }
    void Finish() override {
        if (!out_->Write(buffer_) || !out_->Commit())
            Fail(out_->Error() == ELOOP ? "書き出し先がシンボリックリンクです。書き出しません。"
                                        : "mbox ファイルを書き込めません。",
                 target_, out_->Error());
    }

private:
    static constexpr size_t kBuffer = 1 << 20;
    void Put(std::string_view bytes) {
        buffer_ += bytes;
        if (buffer_.size() < kBuffer)
            return;
        if (!out_->Write(buffer_))
            Fail("mbox ファイルを書き込めません。", target_, out_->Error());
        buffer_.clear();
    }
    fs::path target_;
    std::unique_ptr<FileWriter> out_;
    std::string buffer_;
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
    MaildirSink(const fs::path& folder, unsigned mode) : folder_(folder), host_(HostName()), mode_(mode) {
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
        fs::path target;
        if (auto it = known_.find(name); it != known_.end())
            target = it->second;
        else
            target = mail.sent ? folder_ / "cur" / (name + ":2,S") : folder_ / "new" / name;
        WriteWhole(target, message, mode_, folder_ / "tmp");
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
    unsigned mode_;
};

class EmlSink : public MessageSink {
public:
    EmlSink(const fs::path& folder, unsigned mode) : folder_(folder), mode_(mode) { MakeFolder(folder); }
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
        WriteWhole(folder_ / name, message, mode_);
    }
    void Finish() override { SyncFolder(folder_); }

private:
    fs::path folder_;
    unsigned mode_;
};

std::unique_ptr<MessageSink> SinkFor(MailFormat format, const fs::path& target, unsigned mode) {
    switch (format) {
    case MailFormat::Mbox:
        return std::make_unique<MboxSink>(target, mode);
    case MailFormat::Maildir:
        return std::make_unique<MaildirSink>(target, mode);
    case MailFormat::Eml:
        break;
    }
    return std::make_unique<EmlSink>(target, mode);
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
    const fs::path archive = db.getFilename();
    if (IsArchiveOrCopy(target, archive))
        throw std::runtime_error(
            "書き出し先はアーカイブかそのコピー（.Bak、.New、バックアップ）です。上書きしません。\n" + target.string());
    auto sink = SinkFor(format, target, PrivateModeOf(archive));
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
