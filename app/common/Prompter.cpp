#include "common/Prompter.h"

#include <ostream>

namespace kamo {

void ScriptedPrompter::Message(const std::string& text, const std::string& title) {
    shown.push_back({text, title, false});
}

bool ScriptedPrompter::AskYesNo(const std::string& text, const std::string& title) {
    shown.push_back({text, title, true});
    if (answers_.empty())
        return false;
    bool yes = answers_.front();
    answers_.pop_front();
    return yes;
}

void StreamPrompter::Message(const std::string& text, const std::string& /*title*/) { out_ << text << '\n'; }

bool StreamPrompter::AskYesNo(const std::string& text, const std::string& /*title*/) {
    out_ << text << (answerYes_ ? " -> yes" : " -> no") << '\n';
    return answerYes_;
}

} // namespace kamo
