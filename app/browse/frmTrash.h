#pragma once
// 表示 → ゴミ箱 (memTrash): the trash's mail, newest deletion first; the chosen mail's text below;
// 元に戻す puts the chosen mail's deletion (its whole batch) back, ゴミ箱を空にする removes every
// trashed mail for good after its question.
#include <QDialog>
#include <functional>

class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace kamo {

class ArchiveSession;
class ArchiveView;
class Prompter;
class WaitReporter;

class frmTrash : public QDialog {
    Q_OBJECT
public:
    frmTrash(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view,
             QWidget* parent = nullptr);
    // Keeps the column widths the user dragged for the next time (the window layout's settings).
    ~frmTrash() override;
    QTreeWidget* lstTrash = nullptr;
    QPlainTextEdit* txtTrashMail = nullptr;
    QPushButton* cmdRestore = nullptr;
    QPushButton* cmdEmpty = nullptr;

private:
    void Fill();
    void ShowChosen();
    void Restore();
    ArchiveSession& session_;
    Prompter& prompter_;
    WaitReporter& wait_;
    ArchiveView& view_;
    bool filling_ = false; // the columns fitted by Fill, not dragged
    bool dragged_ = false;
};

// How the window is run; tests replace it. Default: exec().
std::function<int(frmTrash&)>& TrashRun();

} // namespace kamo
