#include "filters/QtFilterCommands.h"

#include "common/ArchiveView.h"
#include "common/Prompter.h"
#include "common/WaitReporter.h"
#include "db/ArchiveSession.h"
#include "filters/FilterCommands.h"
#include "filters/FilterStore.h"
#include "filters/frmFilter.h"

namespace kamo {

void MemFilter(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view, QWidget* parent,
               const std::function<int(frmFilter&)>& runner) {
    FilterTables& filters = session.Filters();
    filters.cancelFlag = false;
    {
        frmFilter editor(session.Database(), filters, prompter, parent);
        if (runner)
            runner(editor);
        else
            editor.exec();
    }
    // The mail on display may no longer belong to the list it was chosen from.
    view.ShowViewMode();
    if (!filters.cancelFlag) {
        NullWaitReporter quiet;
        if (SaveFilters(session.Database(), filters, quiet))
            MemFilterGo(session, prompter, wait, view);
        else
            prompter.Error("フィルターを保存できませんでした。");
    } else {
        filters.cancelFlag = false;
    }
}

} // namespace kamo
