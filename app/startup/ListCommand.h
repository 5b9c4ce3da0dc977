#pragma once
// kamomail list [--by address|name|date|filter]: the keys of a view mode as the window's left list
// shows them (default: addresses), one per line; filters as "number TAB name".
// kamomail list --address A | --name N | --date yyyy/mm/dd | --filter NUMBER-OR-NAME
//               [--format text|json] [--body]: the mails of one key in the window's order, in the
//               line format of `kamomail search`.
//
// Exit status: 0 listed, 1 could not run (another copy runs, no such filter, archive failed),
// 2 wrong arguments.
#include <iosfwd>
#include <string>
#include <vector>

namespace kamo {

int RunListCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int ListCommand(const std::vector<std::string>& args);

} // namespace kamo
