#include "import/QtReadCommands.h"

#include <QPushButton>
#include <exception>
#include <memory>

#include "browse/frmKamoMail.h"
#include "browse/frmOption.h"
#include "import/MailRead.h"
#include "import/frmMailReadOpt.h"
#include "platform/KamoLibrary.h"

namespace kamo {

bool ComMailRead(frmKamoMail& window) {
    Prompter& prompter = window.Prompts();
    ReadSummary summary;
    try {
        frmKamoMail::BusyScope busy(window);
        const ReadRequest request = MakeReadRequest(window.AppSettings(), window.Folders(), false);
        summary = ReadPostPetMail(window.Database(), ProgramLibrary(window.Folders().libraryPath), request,
                                  StandardReadHooks(window.Database(), window.Filters()), prompter, busy.Wait());
    } catch (const std::exception& e) {
        // Mailboxes read before the failure stay stored; the one being read was rolled back.
        window.ShowViewMode();
        prompter.Error(std::string("メールの読み込み中にエラーが発生しました。\n") + e.what(), "PostPet Mail Read");
        return false;
    }
    if (!summary.completed)
        return false;
    window.ShowViewMode();
    prompter.Message("PostPetのメールを読み込みました。\n" + FormatSummary(summary), "PostPet Mail Read");
    return true;
}

void HookReadOptions(frmOption& dialog, Settings& settings, Prompter& prompter) {
    QPushButton* button = dialog.ReadOptionsButton();
    if (!button)
        return;
    auto send = std::make_shared<frmMailReadOpt::Flags>(settings.sendReadOptions);
    auto recieve = std::make_shared<frmMailReadOpt::Flags>(settings.recievReadOptions);
    button->setEnabled(true);
    button->setToolTip(QString::fromUtf8("PostPet Mail Read で読み込むメールボックスを選びます"));
    QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, &prompter, send, recieve] {
        frmMailReadOpt options(*send, *recieve, prompter, &dialog);
        options.exec();
    });
    QObject::connect(&dialog, &QDialog::accepted, &dialog, [&settings, send, recieve] {
        settings.sendReadOptions = *send;
        settings.recievReadOptions = *recieve;
    });
}

} // namespace kamo
