#include "export/ImapUpload.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <utility>

#include "common/BesideWait.h"
#include "common/Messages.h"
#include "common/MessagesExport.h"
#include "export/MessageSink.h"
#include "mime/MailDates.h"
#include "search/SearchIndex.h"

namespace kamo {
namespace {

// A connection that broke or could not be made again: worth another try. Anything else (a wrong
// password, a refused certificate, an unknown host) would only be refused again.
bool IsWorthAnotherTry(const Failure& failure) {
    return failure.Code() == FailureCode::ImapConnectionLost || failure.Code() == FailureCode::ImapNotReached;
}

class ImapSink : public MessageSink {
public:
    ImapSink(ImapSession& session, const std::string& password, const ImapUploadOptions& options,
             ImapUploadResult& result, WaitReporter& wait)
        : session_(session), password_(password), options_(options), result_(result), wait_(wait) {}

    std::string_view LineEnd() const override { return "\r\n"; }
    int64_t CountEvery() const override { return 1; }

    void Add(const SinkMail& m) override {
        const std::string folder = FolderOf(m);
        if (folder != shownFolder_) {
            wait_.ShowNote(WaitNote::ServerFolder, folder);
            shownFolder_ = folder;
        }
        const std::string message = m.original ? CrlfLineEnds(m.message) : m.message;
        const std::string key = ImapMessageKey(message);
        const ImapInternalDate date = InternalDateOf(m.mail, m.zoneMinutes);
        bool sent = false; // an append went out whose answer may have been lost with the connection
        size_t tries = 0;
        for (;;) {
            try {
                // The server's answers are waited for beside the window, which keeps painting.
                RunWhilePumping(wait_, [&] { Place(folder, m, message, key, date, sent); });
                return;
            } catch (const Failure& failure) {
                if (!IsWorthAnotherTry(failure) || tries >= options_.retryDelaysMs.size())
                    throw;
                // A stop asked for while waiting to try again ends the upload before this mail,
                // which the next run appends (or finds there, when its lost answer was a yes).
                if (!PumpedPause(wait_, std::chrono::milliseconds(options_.retryDelaysMs[tries++]))) {
                    result_.stopped = true;
                    return;
                }
                known_.clear(); // read again after the new login: the lost append may be there
                try {
                    RunWhilePumping(wait_, [this] {
                        session_.Connect();
                        session_.Login(password_);
                    });
                } catch (const Failure& again) {
                    if (!IsWorthAnotherTry(again))
                        throw;
                    // The next turn finds the session without its connection and tries once more.
                }
            }
        }
    }

    void Finish() override { session_.Logout(); }

private:
    std::string FolderOf(const SinkMail& m) const {
        if (!options_.mail.folders)
            return session_.Target().folder;
        return session_.Target().folder + "/" + MailboxFolderName(m.mailbox);
    }

    FolderUpload& Counts(const std::string& folder) {
        for (auto& f : result_.folders)
            if (f.folder == folder)
                return f;
        result_.folders.push_back({folder});
        return result_.folders.back();
    }

    void Place(const std::string& folder, const SinkMail& m, const std::string& message, const std::string& key,
               const ImapInternalDate& date, bool& sent) {
        auto it = known_.find(folder);
        if (it == known_.end()) {
            session_.EnsureFolder(folder);
            it = known_.emplace(folder, session_.KnownMessageKeys(folder)).first;
        }
        FolderUpload& counts = Counts(folder);
        if (it->second.count(key)) {
            // Stored by the append whose answer the lost connection took, or by an earlier run.
            ++(sent ? counts.appended : counts.alreadyThere);
            return;
        }
        sent = true;
        if (auto refusal = session_.Append(folder, message, date, m.seen)) {
            ++counts.failed;
            result_.refused.push_back({m.mail, std::move(*refusal)});
            return;
        }
        it->second.insert(key);
        ++counts.appended;
    }

    ImapSession& session_;
    const std::string& password_;
    const ImapUploadOptions& options_;
    ImapUploadResult& result_;
    WaitReporter& wait_;
    std::string shownFolder_;                            // the folder the wait window names
    std::map<std::string, std::set<std::string>> known_; // folder -> keys of its messages
};

} // namespace

int64_t ImapUploadResult::Appended() const {
    int64_t n = 0;
    for (const auto& f : folders)
        n += f.appended;
    return n;
}

int64_t ImapUploadResult::Failed() const {
    int64_t n = 0;
    for (const auto& f : folders)
        n += f.failed;
    return n;
}

UploadSummary UploadSummaryOf(const ImapUploadResult& result, const std::string& host, const MailSelection& selection) {
    UploadSummary summary;
    summary.done = Say(ExportText::Uploaded, {host, selection.Describe()}) + '\n';
    for (const auto& f : result.folders)
        summary.done += Say(ExportText::UploadedFolder, {f.folder, std::to_string(f.appended),
                                                         std::to_string(f.alreadyThere), std::to_string(f.failed)}) +
                        '\n';
    if (result.withoutOriginal > 0)
        summary.done += Say(ExportText::WrittenWithoutOriginal, {std::to_string(result.withoutOriginal)}) + '\n';
    for (const auto& refused : result.refused)
        summary.problems.push_back(Say(ExportText::UploadRefusedMail, {refused.mail.ymd + " " + refused.mail.hms,
                                                                       refused.mail.subject, MessageOf(refused.why)}));
    if (result.endedBy)
        summary.problems.push_back(MessageOf(*result.endedBy) + '\n' +
                                   Say(ExportText::UploadEnded, {std::to_string(result.Appended())}));
    else if (result.stopped)
        summary.problems.push_back(Say(ExportText::UploadStopped, {std::to_string(result.Appended())}));
    return summary;
}

ImapUploadResult UploadMails(SQLite::Database& db, const MailSelection& selection, const ImapTarget& target,
                             const std::string& password, WaitReporter& wait, const ImapUploadOptions& options) {
    WaitScope busy(wait);
    wait.ShowPhase(WaitPhase::ExportingMail, InfoOf(MailFormat::Imap).caption);
    wait.Pump();
    ImapSession session(target, options.session);
    RunWhilePumping(wait, [&] {
        session.Connect();
        session.Login(password);
    });
    if (selection.kind == MailSelection::Kind::Search)
        UpdateSearchIndex(db, wait);
    // Each message is stored on the server when its append is answered: a stop loses nothing.
    wait.OfferCancel();
    ImapUploadResult result;
    ImapSink sink(session, password, options, result, wait);
    try {
        const ExportResult written = WriteMessages(db, selection, sink, wait, options.mail);
        result.stopped = result.stopped || written.stopped; // or in the sink's wait to try again
        result.withoutOriginal = written.withoutOriginal;
    } catch (const Failure& failure) {
        result.endedBy = failure;
    }
    session.Logout(); // after a stop too (the sink is then not finished)
    return result;
}

ImapInternalDate InternalDateOf(const MailRecord& mail, int zoneMinutes) {
    ImapInternalDate date;
    if (!MailTime(mail.ymd, mail.hms, zoneMinutes))
        return date; // 1970-01-01 00:00:00 +0000, as the Date header has it
    // MailTime took the clock time, so both are digits where they should be.
    const auto number = [](const std::string& text, size_t at, size_t length) {
        return std::stoi(text.substr(at, length));
    };
    date.year = number(mail.ymd, 0, 4);
    date.month = number(mail.ymd, 5, 2);
    date.day = number(mail.ymd, 8, 2);
    date.hour = number(mail.hms, 0, 2);
    date.minute = number(mail.hms, 3, 2);
    date.second = std::min(number(mail.hms, 6, 2), 59);
    date.zoneMinutes = zoneMinutes;
    return date;
}

std::string CrlfLineEnds(std::string_view message) {
    std::string out;
    out.reserve(message.size() + message.size() / 32);
    for (size_t i = 0; i < message.size(); ++i) {
        if (message[i] == '\n' && (i == 0 || message[i - 1] != '\r'))
            out += '\r';
        out += message[i];
    }
    return out;
}

} // namespace kamo
