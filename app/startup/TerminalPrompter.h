#pragma once
// The Prompter of the terminal commands: messages on `out`, errors and questions on `err`, and a
// question is answered No (nothing is deleted, replaced or restored unasked). A command whose
// messages are not its output passes standard error for both.
#include <iosfwd>
#include <string>

#include "common/Prompter.h"

namespace kamo {

class TerminalPrompter : public Prompter {
public:
    TerminalPrompter(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
    void Message(const std::string& text, const std::string& title = "KamoMail") override;
    void Error(const std::string& text, const std::string& title = "KamoMail") override;
    bool AskYesNo(const std::string& text, const std::string& title = "KamoMail") override;

    // An error was told: the command fails even where its work says it went well.
    bool failed = false;

private:
    std::ostream& out_;
    std::ostream& err_;
};

} // namespace kamo
