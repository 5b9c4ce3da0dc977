#include "export/MailExport.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/Failure.h"
#include "common/Messages.h"
#include "common/MessagesExport.h"
#include "common/NumberText.h"
#include "db/Backups.h"
#include "db/HeaderFields.h"
#include "export/ExportFiles.h"
#include "export/HtmlArchive.h"
#include "export/MailAttachments.h"
#include "export/MailMessage.h"
#include "export/MessageSink.h"
#include "export/OriginalReading.h"
#include "platform/FileUtil.h"
#include "search/SearchIndex.h"

namespace kamo {
namespace fs = std::filesystem;
namespace {

// The file time of a mail's file: its own moment (none before 1970: a negative time is no time to
// most programs); the start of 1970 for a mail whose date could not be read, as its Date says.
std::time_t FileTimeOf(const SinkMail& m) {
    return std::max<std::time_t>(0, MailTime(m.mail.ymd, m.mail.hms, m.zoneMinutes).value_or(0));
}

// One file, written the one way: complete or not at all.
class MboxSink : public MessageSink {
public:
    MboxSink(const fs::path& target, unsigned mode) : target_(target) {
        if (fs::is_directory(target))
            FailExport(FailureCode::MboxTargetIsFolder, target, EISDIR);
        out_ = std::make_unique<FileWriter>(target, PrivateFile(mode));
        if (!out_->Ok())
            FailExport(out_->Error() == ELOOP ? FailureCode::TargetIsLink : FailureCode::MboxNotMade, target,
                       out_->Error());
        buffer_.reserve(kBuffer);
    }
    void Add(const SinkMail& m) override {
        Put(MboxFromLine(m.mail, m.zoneMinutes) + "\n");
        if (m.seen && !m.original)
            Put("Status: RO\n"); // read (R) and no longer new (O), as mutt and mbox readers keep it
        AppendMboxQuoted(buffer_, m.message);
        if (!m.message.empty() && m.message.back() != '\n')
            Put("\n"); // every mbox message ends in a line break, the separator's blank line after it
        Put("\n");     // a blank line before the next "From "
    }
    void Finish() override {
        if (!out_->Write(buffer_) || !out_->Commit())
            FailExport(out_->Error() == ELOOP ? FailureCode::TargetIsLink : FailureCode::MboxNotWritten, target_,
                       out_->Error());
    }

private:
    static constexpr size_t kBuffer = 1 << 20;
    void Put(std::string_view bytes) {
        buffer_ += bytes;
        if (buffer_.size() < kBuffer)
            return;
        if (!out_->Write(buffer_))
            FailExport(FailureCode::MboxNotWritten, target_, out_->Error());
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

// "K<key>", or "K<key>-<n>" as MailFileNames makes it unique, of a Maildir file name
// "<time>.K<key>.<host>[:2,flags]"; empty for a name not ours.
std::string KeyPart(const std::string& name) {
    const size_t at = name.find(".K");
    const size_t end = at == std::string::npos ? at : name.find('.', at + 1);
    if (end == std::string::npos || end - at < 18)
        return {};
    const std::string key = name.substr(at + 1, end - at - 1);
    const bool suffixed =
        key.size() > 19 && key[17] == '-' && key.find_first_not_of("0123456789", 18) == std::string::npos;
    return key.size() == 17 || suffixed ? key : std::string();
}

class MaildirSink : public MessageSink {
public:
    MaildirSink(const fs::path& folder, unsigned mode) : folder_(folder), host_(HostName()), mode_(mode) {
        for (const char* sub : {"tmp", "new", "cur"})
            MakeExportFolder(folder / sub);
        // Mails exported before, wherever a mail program has moved them since and whatever flags it set.
        for (const char* sub : {"new", "cur"}) {
            std::error_code ec;
            for (const auto& entry : fs::directory_iterator(folder / sub, ec)) {
                const std::string key = KeyPart(entry.path().filename().string());
                if (!key.empty())
                    known_[key] = entry.path();
            }
        }
    }
    void Add(const SinkMail& m) override {
        const MailRecord& mail = m.mail;
        const bool seen = m.seen;
        const std::time_t when = FileTimeOf(m);
        char own[32];
        std::snprintf(own, sizeof own, "K%016llx", static_cast<unsigned long long>(MailKeyHash(mail)));
        const std::string key = names_.Claim(own);
        const std::string name = std::to_string(static_cast<long long>(when)) + "." + key + "." + host_;
        const fs::path fresh = seen ? folder_ / "cur" / (name + ":2,S") : folder_ / "new" / name;
        fs::path target = fresh;
        fs::path left; // the file of an earlier export, when this one goes under another name
        if (auto it = known_.find(key); it != known_.end()) {
            const fs::path& old = it->second;
            const std::string oldName = old.filename().string();
            const size_t colon = oldName.find(':');
            if (seen && old.parent_path().filename() == "new") {
                left = old; // still unread from the last export: now read
            } else if (oldName.substr(0, colon) != name) {
                // Named by an older version (a time before 1970 or a leap second): the current name,
                // the flags a mail program gave it kept.
                target = old.parent_path() / (name + (colon == std::string::npos ? "" : oldName.substr(colon)));
                left = old;
            } else {
                target = old;
            }
        }
        WriteExportFile(target, m.message, mode_, when, folder_ / "tmp");
        if (!left.empty()) {
            std::error_code ec;
            fs::remove(left, ec);
        }
        known_[key] = target;
    }
    void Finish() override {
        SyncFolder(folder_ / "new");
        SyncFolder(folder_ / "cur");
    }

private:
    fs::path folder_;
    std::string host_;
    std::map<std::string, fs::path> known_;
    MailFileNames names_;
    unsigned mode_;
};

class EmlSink : public MessageSink {
public:
    EmlSink(const fs::path& folder, unsigned mode) : folder_(folder), mode_(mode) { MakeExportFolder(folder); }
    std::string_view LineEnd() const override { return "\r\n"; }
    void Add(const SinkMail& m) override { // eml has no flags
        const std::string own = MailFileStem(m.mail);
        WriteExportFile(folder_ / (names_.Claim(own) + ".eml"), m.message, mode_, FileTimeOf(m));
        RemoveEarlierFile(folder_ / (EarlierMailFileStem(own) + ".eml"));
    }
    void Finish() override { SyncFolder(folder_); }

private:
    fs::path folder_;
    MailFileNames names_;
    unsigned mode_;
};

std::unique_ptr<MessageSink> SinkFor(MailFormat format, const fs::path& target, unsigned mode) {
    switch (format) {
    case MailFormat::Mbox:
        return std::make_unique<MboxSink>(target, mode);
    case MailFormat::Maildir:
        return std::make_unique<MaildirSink>(target, mode);
    case MailFormat::Eml:
    case MailFormat::Html:
    case MailFormat::Imap:
        break;
    }
    return std::make_unique<EmlSink>(target, mode);
}

// One sink per PostPet mailbox, each made at the mailbox's first mail, under the target folder. A
// Maildir++ root is a Maildir itself, each folder ".name" one with the file "maildirfolder".
class FolderSink : public MessageSink {
public:
    FolderSink(MailFormat format, const fs::path& target, unsigned mode, const fs::path& archive)
        : format_(format), target_(target), mode_(mode), archive_(archive) {
        if (format == MailFormat::Maildir)
            sinks_.emplace("", SinkFor(format, target, mode)); // the root, for readers that want one
        else
            MakeExportFolder(target);
    }
    std::string_view LineEnd() const override { return format_ == MailFormat::Eml ? "\r\n" : "\n"; }
    void Add(const SinkMail& m) override {
        const std::string name = MailboxFolderName(m.mailbox);
        auto it = sinks_.find(name);
        if (it == sinks_.end()) {
            const fs::path place = target_ / (format_ == MailFormat::Maildir ? "." + name : name);
            if (IsArchiveOrCopy(place, archive_))
                throw Failure(FailureCode::TargetIsArchive, {place.string()});
            it = sinks_.emplace(name, SinkFor(format_, place, mode_)).first;
            if (format_ == MailFormat::Maildir)
                WriteExportFile(place / "maildirfolder", "", mode_, std::time(nullptr));
        }
        it->second->Add(m);
    }
    void Finish() override {
        for (auto& [name, sink] : sinks_)
            sink->Finish();
        SyncFolder(target_);
    }

private:
    MailFormat format_;
    fs::path target_;
    unsigned mode_;
    fs::path archive_;
    std::map<std::string, std::unique_ptr<MessageSink>> sinks_;
};

} // namespace

const std::vector<MailFormatInfo>& MailFormats() {
    static const std::vector<MailFormatInfo> formats = {
        {MailFormat::Mbox, "mbox", TextOf(ExportText::FormatMbox), false, true, false},
        {MailFormat::Maildir, "maildir", TextOf(ExportText::FormatMaildir), true, true, false},
        {MailFormat::Eml, "eml", TextOf(ExportText::FormatEml), true, false, false},
        {MailFormat::Html, "html", TextOf(ExportText::FormatHtml), true, false, false},
        {MailFormat::Imap, "imap", TextOf(ExportText::FormatImap), false, true, true},
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

const std::vector<SeenChoice>& SeenChoices() {
    static const std::vector<SeenChoice> choices = {
        {SeenMail::All, "all", TextOf(ExportText::SeenAll)},
        {SeenMail::SentOnly, "sent", TextOf(ExportText::SeenSentOnly)},
    };
    return choices;
}

std::optional<SeenMail> SeenMailNamed(const std::string& name) {
    for (const auto& c : SeenChoices())
        if (name == c.name)
            return c.seen;
    return std::nullopt;
}

std::string MailboxFolderName(const std::string& mailbox) {
    std::string name;
    for (char c : mailbox)
        name += c == '/' || c == '.' || (static_cast<unsigned char>(c) < 0x20) || c == 0x7F ? '_' : c;
    return name.empty() ? std::string(kUnknownMailbox) : name;
}

std::string MboxQuoted(std::string_view message) {
    std::string out;
    out.reserve(message.size() + 16);
    AppendMboxQuoted(out, message);
    return out;
}

void AppendMboxQuoted(std::string& out, std::string_view message) {
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
}

namespace {

// The Message-IDs kept for more than one mail of this export: those mails go out with the IDs made
// from their keys, for a reader keeps one mail per Message-ID. Most archives repeat none, and then
// the selection is not walked twice.
std::set<std::string> IdsRepeatedIn(SQLite::Database& db, const MailSelection& selection, HeaderFieldReader& headers,
                                    const WaitReporter& wait) {
    std::set<std::string> repeated;
    const auto inArchive = headers.RepeatedMessageIds();
    if (inArchive.empty())
        return repeated;
    const std::set<std::string> candidates(inArchive.begin(), inArchive.end());
    std::map<std::string, int> seen;
    SelectionStream stream(db, selection);
    MailRowReader reader(db);
    std::vector<int64_t> rows;
    bool more = true;
    while (more && !wait.CancelRequested()) {
        rows.clear();
        more = stream.Read(rows, 256);
        for (int64_t row : rows)
            if (const auto mail = reader.Read(row)) {
                const std::string id = headers.Read(KeyOf(*mail)).messageId;
                if (candidates.count(id) && ++seen[id] == 2)
                    repeated.insert(id);
            }
    }
    return repeated;
}

} // namespace

ExportResult ExportMails(SQLite::Database& db, const MailSelection& selection, MailFormat format,
                         const fs::path& target, WaitReporter& wait, const ExportOptions& options) {
    if (InfoOf(format).upload)
        throw std::logic_error("an upload is not written to a file");
    WaitScope busy(wait);
    wait.ShowPhase(WaitPhase::ExportingMail, InfoOf(format).caption);
    wait.Pump();
    if (selection.kind == MailSelection::Kind::Search)
        UpdateSearchIndex(db, wait);
    const fs::path archive = db.getFilename();
    if (IsArchiveOrCopy(target, archive))
        throw Failure(FailureCode::TargetIsArchive, {target.string()});
    // A stop drops an mbox file whole and leaves an HTML folder without its index: Esc asks first.
    // Maildir and eml keep every mail written so far as a file of its own: nothing to lose.
    if (format == MailFormat::Html)
        wait.OfferCancelAsking(Say(ExportText::StopHtmlQuestion));
    else if (format == MailFormat::Mbox && !options.folders)
        wait.OfferCancelAsking(Say(ExportText::StopMboxQuestion));
    else
        wait.OfferCancel();
    if (format == MailFormat::Html)
        return WriteHtmlArchive(db, selection, target, PrivateModeOf(archive), wait);
    auto sink = options.folders ? std::make_unique<FolderSink>(format, target, PrivateModeOf(archive), archive)
                                : SinkFor(format, target, PrivateModeOf(archive));
    ExportResult result = WriteMessages(db, selection, *sink, wait, options);
    result.target = target;
    return result;
}

ExportResult WriteMessages(SQLite::Database& db, const MailSelection& selection, MessageSink& sink, WaitReporter& wait,
                           const ExportOptions& options) {
    HeaderFieldReader headers(db);
    OriginalReader originals(db);
    const std::set<std::string> repeated = IdsRepeatedIn(db, selection, headers, wait);
    SelectionStream stream(db, selection);
    const std::optional<int64_t> total = stream.Total();
    MailRowReader reader(db);
    MailAttachmentReader attachments(db);
    ExportResult result;
    ShowExportCount(wait, 0, total);
    std::vector<int64_t> rows;
    bool more = true;
    while (more) {
        rows.clear();
        more = stream.Read(rows, 256);
        for (int64_t row : rows) {
            // 中止 between two mails: an mbox sink is dropped unwritten (its temporary removed); the
            // Maildir and eml files written so far are whole mails and stay.
            if (wait.CancelRequested()) {
                result.stopped = true;
                result.unreadableOriginals = originals.Unreadable();
                ShowExportCount(wait, result.written, total);
                return result;
            }
            const std::optional<MailRecord> mail = reader.Read(row);
            if (!mail)
                continue;
            const std::optional<StoredOriginal> stored = originals.Read(KeyOf(*mail));
            const bool asOriginal = options.original && stored;
            MessageExtras extras;
            if (asOriginal) // the original goes out as it was: only its zone, for the mbox separator and file times
                extras.zoneMinutes = OriginalZoneMinutes(stored->original, *mail).value_or(extras.zoneMinutes);
            else if (stored)
                AddOriginalExtras(stored->original, *mail, true, extras);
            std::string message;
            if (asOriginal) {
                message = OriginalMessage(stored->original);
            } else {
                result.withoutOriginal += options.original ? 1 : 0;
                extras.headers = headers.Read(KeyOf(*mail));
                extras.ownMessageId = !repeated.count(extras.headers.messageId);
                message = MailMessageText(*mail, attachments.Read(*mail), sink.LineEnd(), extras);
            }
            const bool seen = options.seen == SeenMail::All || mail->sent;
            sink.Add({*mail, message, seen, asOriginal, extras.zoneMinutes, stored ? stored->mailbox : ""});
            if (++result.written % sink.CountEvery() == 0)
                ShowExportCount(wait, result.written, total);
            wait.Pump();
        }
    }
    sink.Finish();
    result.unreadableOriginals = originals.Unreadable();
    ShowExportCount(wait, result.written, total);
    wait.Pump();
    return result;
}

} // namespace kamo
