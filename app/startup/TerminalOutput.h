#pragma once
// What the terminal commands print: a mail as one tab-separated line or one JSON object, and the
// progress line of long work on standard error.
#include <chrono>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "common/CommandOptions.h"
#include "common/MailRecord.h"
#include "common/WaitReporter.h"

namespace kamo {

// "date \t time \t other party \t subject": the other party is the receiver of a sent mail and the
// sender of a received one, as "name <address>". Tabs and line breaks inside a field become blanks,
// so one mail is always one line.
std::string MailLine(const MailRecord& mail);

// The conversation a printed mail belongs to (search/Conversations.h) and its own Message-ID.
struct MailThread {
    std::string thread;
    std::string messageId;
};

// {"date":..,"time":..,"sent":..,"from_name":..,"from_address":..,"to_name":..,"to_address":..,
// "subject":..[,"thread":..,"message_id":..][,"body":..]} on one line; strings escaped as JSON
// wants, UTF-8 (bytes that are not UTF-8 become U+FFFD).
std::string MailJson(const MailRecord& mail, bool withBody, const MailThread* thread = nullptr);
void AppendJsonString(std::string& out, std::string_view utf8);

// The --format and --body choice of the commands that print mails.
struct MailOutput {
    bool json = false;
    bool body = false;
    std::string Of(const MailRecord& mail, const MailThread* thread = nullptr) const {
        return json ? MailJson(mail, body, thread) : MailLine(mail);
    }
    // Takes "--format text|json" and "--body" of the parsed arguments; false, with `error`, for
    // another format.
    bool Take(const ParsedOptions& parsed, std::string& error);
    // --body prints bodies in JSON only.
    bool Valid(std::string& error) const;
};

// The wait window of the terminal: the work's first lines and its count, redrawn in place on one
// line of standard error a few times a second; nothing at all when standard error is no terminal
// (a log file or a pipe gets the command's own messages only).
class TerminalProgress : public WaitReporter {
public:
    TerminalProgress(std::ostream& err, bool shown);
    ~TerminalProgress() override;
    // Whether standard error is a terminal.
    static bool ErrorIsTerminal();

    void SetLine(int index, const std::string& text) override;
    void SetProgress(int64_t done, int64_t total) override;
    void Pump() override;
    void End() override;
    // Clears the line, so that what is printed next starts clean.
    void Finish();

private:
    void Draw();

    std::ostream& err_;
    bool shown_;
    bool drawn_ = false;
    WaitLines lines_;
    int64_t done_ = 0, total_ = 0;
    std::chrono::steady_clock::time_point lastDraw_{};
};

} // namespace kamo
