#include "startup/TerminalPrompter.h"

#include <ostream>

#include "common/Messages.h"
#include "common/MessagesRead.h"

namespace kamo {

void TerminalPrompter::Message(const std::string& text, const std::string& /*title*/) {
    out_ << text << '\n';
}

void TerminalPrompter::Error(const std::string& text, const std::string& /*title*/) {
    err_ << text << '\n';
    failed = true;
}

bool TerminalPrompter::AskYesNo(const std::string& text, const std::string& /*title*/) {
    err_ << Say(ReadText::AnsweredNo, {text}) << '\n';
    return false;
}

} // namespace kamo
