#pragma once
// The read-options window: which mailboxes "PostPet Mail Read" reads, one check box per mailbox on
// the send side (Chk_Send_Opt_<flag index>) and on the receive side (Chk_Reciev_Opt_<flag index>).
#include <QDialog>
#include <array>
#include <cstdint>
#include <vector>

class QCheckBox;

namespace kamo {

class Prompter;

class frmMailReadOpt : public QDialog {
    Q_OBJECT
public:
    using Flags = std::array<int16_t, 17>;
    // Shows `send` / `recieve` ticked; OK writes the ticks back into them, Cancel leaves them.
    frmMailReadOpt(Flags& send, Flags& recieve, Prompter& prompter, QWidget* parent = nullptr);

    // OK: refuses with a message while nothing is ticked.
    void accept() override;

private:
    Flags& send_;
    Flags& recieve_;
    Prompter& prompter_;
    std::vector<std::pair<int, QCheckBox*>> sendBoxes_;
    std::vector<std::pair<int, QCheckBox*>> recievBoxes_;
};

} // namespace kamo
