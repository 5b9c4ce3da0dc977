#pragma once
// The main window: four view modes, the lists, the mail display, the commands.
#include <QMainWindow>
#include <memory>

#include <SQLiteCpp/Database.h>

#include "common/Prompter.h"
#include "common/WaitReporter.h"
#include "filters/FilterTable.h"
#include "platform/Folders.h"
#include "startup/Settings.h"

namespace kamo {

class frmKamoMail : public QMainWindow {
    Q_OBJECT
public:
    // The window owns the open archive for the life of the program.
    frmKamoMail(Settings& settings, AppFolders folders, std::unique_ptr<SQLite::Database> db, Prompter& prompter,
                QWidget* parent = nullptr);
    ~frmKamoMail() override;

    // Load: reads the settings, fills the view. False when the program must end.
    bool Load();
    // Clears the mail display and subject list and refills the left list by Display Type.
    void ShowViewMode();

    SQLite::Database& Database() { return *db_; }
    Settings& AppSettings() { return settings_; }
    const AppFolders& Folders() const { return folders_; }
    FilterTables& Filters() { return filters_; }
    Prompter& Prompts() { return prompter_; }

    // Shows the wait window and locks the controls while alive; unlocks also when the work throws.
    class BusyScope {
    public:
        explicit BusyScope(frmKamoMail& window);
        ~BusyScope();
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;
        WaitReporter& Wait();

    private:
        frmKamoMail& window_;
    };

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Settings& settings_;
    AppFolders folders_;
    std::unique_ptr<SQLite::Database> db_;
    Prompter& prompter_;
    FilterTables filters_;
    NullWaitReporter nullWait_;
};

} // namespace kamo
