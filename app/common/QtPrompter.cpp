#include "common/QtPrompter.h"

#include <QMessageBox>

namespace kamo {

void QtPrompter::Message(const std::string& text, const std::string& title) {
    QMessageBox::information(parent_, QString::fromStdString(title), QString::fromStdString(text));
}

void QtPrompter::Error(const std::string& text, const std::string& title) {
    QMessageBox::critical(parent_, QString::fromStdString(title), QString::fromStdString(text));
}

bool QtPrompter::AskYesNo(const std::string& text, const std::string& title) {
    return QMessageBox::question(parent_, QString::fromStdString(title), QString::fromStdString(text),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

} // namespace kamo
