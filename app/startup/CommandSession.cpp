#include "startup/CommandSession.h"

#include <SQLiteCpp/Statement.h>

#include "common/CommandTable.h"
#include "platform/Folders.h"
#include "startup/TerminalPrompter.h"

namespace kamo {

std::unique_ptr<ArchiveSession> StartCommandSession(std::ostream& err, const std::string& command) {
    // Messages go to standard error; a question is answered No (nothing is changed unasked).
    TerminalPrompter prompter(err, err);
    StartupOptions options;
    const CommandDef* def = FindTerminalCommand(command);
    options.compact = def && def->compacts;
    return StartSession(ResolveFolders(), prompter, options);
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
