#include "common/Prompter.h"

#include <ostream>

namespace kamo {

void StreamPrompter::Message(const std::string& text, const std::string& /*title*/) {
    out_ << text << '\n';
}

bool StreamPrompter::AskYesNo(const std::string& text, const std::string& /*title*/) {
    out_ << text << (answerYes_ ? " -> yes" : " -> no") << '\n';
    return answerYes_;
}

} // namespace kamo
