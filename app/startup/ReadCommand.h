#pragma once
// kamomail read [--postpet-dir DIR] [--all]: the read command without a window. It starts the way
// the window program does (instance lock, archive created or upgraded when needed), reads the
// mailboxes ticked in the settings (all eleven with --all) from the PostPet folder of the settings
// (or DIR), and prints the summary per mailbox and the totals.
//
// Exit status: 0 when every chosen mailbox was read (mail before a damaged record is stored and the
// damage is counted in the summary); 1 when the read could not run or a mailbox could not be read
// (library codes -1, -2, -4, -5), or the archive failed; 2 for wrong arguments.
#include <iosfwd>
#include <string>
#include <vector>

namespace kamo {

int RunReadCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The same on standard output and standard error (the program's command table calls this).
int ReadCommand(const std::vector<std::string>& args);

} // namespace kamo
