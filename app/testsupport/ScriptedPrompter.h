#pragma once
// The tests' Prompter: records what was said and answers from a queue (No when the queue is empty).
#include <deque>
#include <string>
#include <vector>

#include "common/Prompter.h"

namespace kamo {

class ScriptedPrompter : public Prompter {
public:
    struct Shown {
        std::string text;
        std::string title;
        bool question = false;
    };
    void Message(const std::string& text, const std::string& title = "KamoMail") override;
    bool AskYesNo(const std::string& text, const std::string& title = "KamoMail") override;
    void QueueAnswer(bool yes) { answers_.push_back(yes); }

    std::vector<Shown> shown;

private:
    std::deque<bool> answers_;
};

} // namespace kamo
