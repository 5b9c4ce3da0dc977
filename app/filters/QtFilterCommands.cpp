#include "filters/QtFilterCommands.h"

#include <QPushButton>

#include "browse/frmKamoMail.h"
#include "filters/FilterRun.h"
#include "filters/FilterStore.h"
#include "filters/frmFilter.h"

namespace kamo {
namespace {

constexpr const char* kMsgSaveFailed = "フィルターを保存できませんでした。";
constexpr const char* kMsgRunFailed = "フィルターの実行に失敗しました。";

} // namespace

void MemFilter(frmKamoMail& window, const std::function<int(frmFilter&)>& runner) {
    FilterTables& filters = window.Filters();
    filters.cancelFlag = false;
    {
        frmFilter editor(window.Database(), filters, window.Prompts(), &window);
        if (runner)
            runner(editor);
        else
            editor.exec();
    }
    // The mail on display may no longer belong to the list it was chosen from.
    window.ShowViewMode();
    if (!filters.cancelFlag) {
        NullWaitReporter quiet;
        if (SaveFilters(window.Database(), filters, quiet))
            MemFilterGo(window);
        else
            window.Prompts().Error(kMsgSaveFailed);
    } else {
        filters.cancelFlag = false;
    }
    if (auto* read = window.findChild<QPushButton*>("comMailRead"))
        read->setFocus();
}

bool MemFilterGo(frmKamoMail& window) {
    bool ok = false;
    {
        frmKamoMail::BusyScope busy(window);
        WaitReporter& wait = busy.Wait();
        wait.SetLines(FilterWaitLines());
        wait.SetProgress(0, 0);
        ok = RunFilters(window.Database(), window.Filters(), wait);
    }
    if (!ok)
        window.Prompts().Error(kMsgRunFailed);
    window.ShowViewMode();
    return ok;
}

void FilterStartUp(frmKamoMail& window) {
    NullWaitReporter quiet;
    LoadFilters(window.Database(), window.Filters(), quiet);
}

} // namespace kamo
