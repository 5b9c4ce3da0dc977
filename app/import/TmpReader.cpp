#include "import/TmpReader.h"

#include <cstring>
#include <string_view>

namespace kamo {
namespace {

constexpr std::size_t kChunk = 1 << 16;

// The library turned every LF it wrote into CR LF; this takes back that one CR.
void StripOneCr(std::string& line) {
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
}

bool IsStartLine(std::string_view line) {
    return line == "<Start>" || line == "<Start>\r";
}

} // namespace

TmpReader::TmpReader(const std::filesystem::path& path) : file_(std::fopen(path.c_str(), "rb")), buffer_(kChunk) {}

bool TmpReader::ReadLine(std::string& line) {
    if (hasPeeked_) {
        hasPeeked_ = false;
        line.swap(peeked_);
        return !peekedAtEof_;
    }
    line.clear();
    if (!file_)
        return false;
    bool any = false;
    for (;;) {
        if (pos_ == end_) {
            if (eof_)
                return any;
            end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_.get());
            pos_ = 0;
            if (end_ == 0) {
                eof_ = true;
                return any;
            }
        }
        const char* start = buffer_.data() + pos_;
        const auto* nl = static_cast<const char*>(std::memchr(start, '\n', end_ - pos_));
        any = true;
        if (nl) {
            line.append(start, static_cast<std::size_t>(nl - start));
            pos_ += static_cast<std::size_t>(nl - start) + 1;
            return true;
        }
        line.append(start, end_ - pos_);
        pos_ = end_;
    }
}

bool TmpReader::PeekLine(std::string*& line) {
    if (!hasPeeked_) {
        std::string next;
        peekedAtEof_ = !ReadLine(next);
        peeked_.swap(next);
        hasPeeked_ = true;
    }
    line = &peeked_;
    return !peekedAtEof_;
}

bool TmpReader::Next(TmpMail& mail) {
    enum class State { Outside, Header, Body } state = State::Outside;
    bool firstBodyLine = true;
    while (ReadLine(line_)) {
        StripOneCr(line_);
        if (state == State::Outside) {
            if (line_ == "<Start>") {
                mail = TmpMail{};
                state = State::Header;
            }
            continue;
        }
        if (state == State::Header) {
            if (line_ == "<Start>") { // the previous block never reached its body
                ++incomplete_;
                mail = TmpMail{};
                continue;
            }
            if (line_ == "<End>")
                return true;
            const auto blank = line_.find(' ');
            const std::string_view word = std::string_view(line_).substr(0, blank);
            const std::string_view rest =
                blank == std::string::npos ? std::string_view() : std::string_view(line_).substr(blank + 1);
            if (word == "From")
                mail.from.assign(rest);
            else if (word == "To")
                mail.to.assign(rest);
            else if (word == "Subject")
                mail.subject.assign(rest);
            else if (word == "Date")
                mail.date.assign(rest);
            else if (word == "Mail") {
                state = State::Body;
                firstBodyLine = true;
            }
            continue; // "Cc" and anything unknown are not kept
        }
        // Body. "<End>" closes the block only where a block can end: before the next "<Start>" or
        // at the end of the file. A body line that merely reads "<End>" stays in the body.
        if (line_ == "<End>") {
            std::string* next = nullptr;
            if (!PeekLine(next) || IsStartLine(*next))
                return true;
        }
        StripOneCr(line_); // the body's own CR of a CR LF line break
        if (!firstBodyLine)
            mail.body += "\r\n";
        mail.body += line_;
        firstBodyLine = false;
    }
    if (state != State::Outside)
        ++incomplete_;
    return false;
}

} // namespace kamo
