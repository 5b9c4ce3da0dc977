#include "testsupport/ScriptedPrompter.h"

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

} // namespace kamo
