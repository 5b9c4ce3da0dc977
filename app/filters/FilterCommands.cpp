#include "filters/FilterCommands.h"

#include "common/ArchiveView.h"
#include "common/Prompter.h"
#include "common/WaitReporter.h"
#include "db/ArchiveSession.h"
#include "filters/FilterRun.h"
#include "filters/FilterStore.h"

namespace kamo {

bool MemFilterGo(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view) {
    bool ok = false;
    {
        WaitScope busy(wait);
        wait.SetLines(FilterWaitLines());
        wait.SetProgress(0, 0);
        ok = RunFilters(session.Database(), session.Filters(), wait);
    }
    if (!ok)
        prompter.Error("フィルターの実行に失敗しました。");
    view.ShowViewMode();
    return ok;
}

bool FilterStartUp(ArchiveSession& session) {
    NullWaitReporter quiet;
    return LoadFilters(session.Database(), session.Filters(), quiet);
}

} // namespace kamo
