#include "browse/frmKamoMail.h"

#include <QCloseEvent>

namespace kamo {

frmKamoMail::frmKamoMail(Settings& settings, AppFolders folders, std::unique_ptr<SQLite::Database> db,
                         Prompter& prompter, QWidget* parent)
    : QMainWindow(parent), settings_(settings), folders_(std::move(folders)), db_(std::move(db)), prompter_(prompter) {
    setObjectName("frmKamoMail");
    setWindowTitle(QString::fromUtf8("PostPet Mail 表示"));
}

frmKamoMail::~frmKamoMail() = default;

bool frmKamoMail::Load() { return true; }

void frmKamoMail::ShowViewMode() {}

void frmKamoMail::closeEvent(QCloseEvent* event) { event->accept(); }

frmKamoMail::BusyScope::BusyScope(frmKamoMail& window) : window_(window) {}
frmKamoMail::BusyScope::~BusyScope() = default;
WaitReporter& frmKamoMail::BusyScope::Wait() { return window_.nullWait_; }

} // namespace kamo
