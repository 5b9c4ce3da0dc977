#include "startup/CommandSession.h"

#include <SQLiteCpp/Statement.h>

#include "common/CommandTable.h"
#include "common/WaitReporter.h"
#include "db/Schema.h"
#include "filters/FilterCommands.h"
#include "platform/Folders.h"
#include "startup/TerminalPrompter.h"
#include "upkeep/TableRegistry.h"

namespace kamo {

std::unique_ptr<ArchiveSession> StartCommandSession(std::ostream& err, const std::string& command) {
    // Messages go to standard error; a question is answered No (nothing is changed unasked).
    TerminalPrompter prompter(err, err);
    StartupOptions options;
    const CommandDef* def = FindTerminalCommand(command);
    options.compact = def && def->compacts;
    auto session = StartSession(ResolveFolders(), prompter, options);
    // These commands need no filters, unless a change left derived data owed.
    NullWaitReporter quiet;
    if (session && !OwedRebuilds(session->Database()).empty() && !FilterStartUp(*session))
        RefreshOwedDerivedData(session->Database(), session->Filters(), quiet);
    return session;
}

std::optional<int64_t> FindFilterNumber(SQLite::Database& db, const std::string& wanted) {
    const bool digits = !wanted.empty() && wanted.find_first_not_of("0123456789") == std::string::npos;
    if (digits) {
        SQLite::Statement st(db, "SELECT tblFilter_No FROM tblFilter WHERE tblFilter_No = ?1");
        st.bind(1, static_cast<int64_t>(std::stoll(wanted)));
        if (st.executeStep())
            return st.getColumn(0).getInt64();
    }
    SQLite::Statement st(db, "SELECT tblFilter_No FROM tblFilter WHERE tblFilter_Header = ?1 ORDER BY tblFilter_No");
    st.bind(1, wanted);
    if (st.executeStep())
        return st.getColumn(0).getInt64();
    return std::nullopt;
}

} // namespace kamo
