#pragma once
// Every message and question to the user goes through a Prompter: message boxes in the program,
// scripted answers in tests, the terminal's streams on the command line. Logic never includes QMessageBox.
#include <string>
#include <vector>

namespace kamo {

class Prompter {
public:
    virtual ~Prompter() = default;
    // An information box with an OK button.
    virtual void Message(const std::string& text, const std::string& title = "KamoMail") = 0;
    // An error box with an OK button.
    virtual void Error(const std::string& text, const std::string& title = "KamoMail") { Message(text, title); }
    // A Yes/No question; true for Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& title = "KamoMail") = 0;
    // A result table (a summary): a first line, column headings and rows, the last row the totals.
    // Where no table can be shown, `asText` is said as a message (or an error when `problem`).
    struct Table {
        std::string headline;
        std::vector<std::string> columns;
        std::vector<std::vector<std::string>> rows;
        std::string asText;
        bool problem = false;
    };
    virtual void ShowTable(const Table& table, const std::string& title = "KamoMail") {
        if (table.problem)
            Error(table.asText, title);
        else
            Message(table.asText, title);
    }
};

} // namespace kamo
