#pragma once
// kamomail read [--postpet-dir DIR] [--all] [--watch [--settle-ms N]]: the read command without a window. It starts the
// way the window program does (instance lock, archive created or upgraded when needed), reads the mailboxes ticked in
// the settings (all eleven with --all) from the PostPet folder of the settings (or DIR), and prints the summary per
// mailbox and the totals. With --watch it stays running and reads each mailbox PostPet writes (startup/ReadWatch.h).
//
// Exit status: 0 when every chosen mailbox was read whole; 3 when the read ran but a mailbox was
// damaged (every intact mail is stored, each damaged record is named in the summary), could not be
// read, or has a mail file without its list file; 1 when the read could not run (another copy
// runs, no PostPet folder or none of the eleven mailboxes in it, no library, the archive or the
// filters failed); 2 for wrong arguments.
#include <iosfwd>
#include <string>
#include <vector>

namespace kamo {

// With `progressShown`, a progress line is drawn on `err` while the mail is read.
int RunReadCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   bool progressShown = false);

// The same on standard output and standard error (the program's command table calls this).
int ReadCommand(const std::vector<std::string>& args);

} // namespace kamo
