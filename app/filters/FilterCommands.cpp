#include "filters/FilterCommands.h"

#include <SQLiteCpp/Statement.h>

#include "common/ArchiveView.h"
#include "common/Messages.h"
#include "common/MessagesBrowse.h"
#include "common/NumberText.h"
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
        wait.ShowPhase(WaitPhase::RunningFilters);
        wait.SetProgress(0, 0);
        ok = RunFilters(session.Database(), session.Filters(), wait);
    }
    if (!ok)
        prompter.Error(MessageOf(Failure(FailureCode::FilterRunFailed)));
    view.ShowViewMode();
    return ok;
}

std::string FilterCountsText(ArchiveSession& session) {
    SQLite::Statement q(
        session.Database(),
        "SELECT tblFilter_Header, (SELECT COUNT(*) FROM tblFilterData WHERE tblFilterDt_No = tblFilter_No) "
        "FROM tblFilter WHERE tblFilter_ActionCode = 0 ORDER BY tblFilter_No");
    std::string text;
    while (q.executeStep())
        text +=
            Say(BrowseText::FilterCountLine, {q.getColumn(0).getString(), WithSeparators(q.getColumn(1).getInt64())});
    return text;
}

std::optional<Failure> FilterStartUp(ArchiveSession& session) {
    NullWaitReporter quiet;
    std::string why;
    if (LoadFilters(session.Database(), session.Filters(), quiet, &why))
        return std::nullopt;
    return Failure(FailureCode::FiltersNotLoaded, {why});
}

} // namespace kamo
