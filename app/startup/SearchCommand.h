#pragma once
// kamomail search [--format text|json] [--body] WORD...: the mails where every word occurs in the
// subject, a name, an address or the body (letter case and character width ignored), newest first,
// one per line (MailLine) or one JSON object per line (MailJson).
//
// kamomail index [--rebuild | --drop | --redecode]: brings the search index up to date (every mail
// read since is indexed), builds it again from scratch, or removes it (the next search or read
// builds it). --redecode reads every mail that has its original again from it, in place
// (import/Redecode.h), then refreshes the derived data; killed, it goes on at the next run.
//
// Both start the way every terminal command does (instance lock, archive made ready, no
// compaction) and show a progress line on standard error while the index is being built, when
// that is a terminal. Exit status: 0 done (also when nothing was found), 1 could not run (another
// copy runs, archive or index failed), 2 wrong arguments.
#include <iosfwd>
#include <string>
#include <vector>

namespace kamo {

int RunSearchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progressShown);
int SearchCommand(const std::vector<std::string>& args);

int RunIndexCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progressShown);
int IndexCommand(const std::vector<std::string>& args);

} // namespace kamo
