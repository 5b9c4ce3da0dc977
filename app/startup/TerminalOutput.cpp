#include "startup/TerminalOutput.h"

#include <cstdio>
#include <ostream>

#include <unistd.h>

#include "common/AsciiText.h"
#include "common/CodePage.h"
#include "common/Messages.h"
#include "common/MessagesTerminal.h"

namespace kamo {
namespace {

std::string Party(const std::string& name, const std::string& address) {
    return address.empty() ? name : name + " <" + address + ">";
}

void AppendValidUtf8(std::string& out, std::string_view text) {
    if (IsValidUtf8(text)) {
        out.append(text);
        return;
    }
    // Byte by byte: whole sequences stay, anything else becomes U+FFFD.
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (length > 0 && i + length <= text.size() && IsValidUtf8(text.substr(i, length))) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
}

} // namespace

std::string MailLine(const MailRecord& mail) {
    const std::string other = mail.sent ? Party(mail.rcvName, mail.rcvAdd) : Party(mail.sndName, mail.sndAdd);
    return OneLine(mail.ymd) + '\t' + OneLine(mail.hms) + '\t' + OneLine(other) + '\t' + OneLine(mail.subject);
}

void AppendJsonString(std::string& out, std::string_view utf8) {
    std::string valid;
    AppendValidUtf8(valid, utf8);
    out += '"';
    for (char ch : valid) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += ch;
            }
        }
    }
    out += '"';
}

std::string MailJson(const MailRecord& mail, bool withBody, const MailThread* thread) {
    std::string out = "{";
    auto field = [&](const char* name, const std::string& value) {
        out += out.size() > 1 ? ",\"" : "\"";
        out += name;
        out += "\":";
        AppendJsonString(out, value);
    };
    field("date", mail.ymd);
    field("time", mail.hms);
    out += ",\"sent\":";
    out += mail.sent ? "true" : "false";
    field("from_name", mail.sndName);
    field("from_address", mail.sndAdd);
    field("to_name", mail.rcvName);
    field("to_address", mail.rcvAdd);
    field("subject", mail.subject);
    if (thread) {
        field("thread", thread->thread);
        field("message_id", thread->messageId);
    }
    if (withBody)
        field("body", mail.body);
    out += "}";
    return out;
}

bool MailOutput::Take(const ParsedOptions& parsed, std::string& error) {
    body = parsed.Has("--body");
    const std::string value = parsed.Value("--format").value_or("text");
    if (value != "json" && value != "text") {
        error = Say(TerminalText::BadOutputFormat, {value});
        return false;
    }
    json = value == "json";
    return true;
}

bool MailOutput::Valid(std::string& error) const {
    if (body && !json) {
        error = Say(TerminalText::OptionNeeds, {"--body", "--format json"});
        return false;
    }
    return true;
}

TerminalProgress::TerminalProgress(std::ostream& err, bool shown) : err_(err), shown_(shown) {}

TerminalProgress::~TerminalProgress() {
    Finish();
}

bool TerminalProgress::ErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

void TerminalProgress::SetLine(int index, const std::string& text) {
    if (index >= 0 && index < kLines)
        lines_[static_cast<size_t>(index)] = text;
}

void TerminalProgress::SetProgress(int64_t done, int64_t total) {
    done_ = done;
    total_ = total;
}

void TerminalProgress::Pump() {
    if (shown_ && std::chrono::steady_clock::now() - lastDraw_ >= std::chrono::milliseconds(100))
        Draw();
}

void TerminalProgress::End() {
    if (shown_)
        Draw();
}

void TerminalProgress::Draw() {
    lastDraw_ = std::chrono::steady_clock::now();
    std::string text = WaitLinesForTerminal(lines_);
    if (total_ > 0)
        text += "  " + std::to_string(done_) + " / " + std::to_string(total_) + " (" +
                std::to_string(done_ * 100 / total_) + "%)";
    else if (done_ > 0)
        text += "  " + std::to_string(done_);
    if (text.empty())
        return;
    err_ << "\r" << text << "\x1b[K" << std::flush;
    drawn_ = true;
}

void TerminalProgress::Finish() {
    if (drawn_)
        err_ << "\r\x1b[K" << std::flush;
    drawn_ = false;
}

} // namespace kamo
