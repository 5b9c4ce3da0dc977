#pragma once
// Message boxes for the Prompter interface.
#include "common/Prompter.h"

class QWidget;

namespace kamo {

class QtPrompter : public Prompter {
public:
    explicit QtPrompter(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    void Message(const std::string& text, const std::string& title = "KamoMail") override;
    void Error(const std::string& text, const std::string& title = "KamoMail") override;
    bool AskYesNo(const std::string& text, const std::string& title = "KamoMail") override;
    // A dialog with the table: numbers right-aligned in one font, the totals row last and bold.
    void ShowTable(const Table& table, const std::string& title = "KamoMail") override;

private:
    QWidget* parent_;
};

} // namespace kamo
