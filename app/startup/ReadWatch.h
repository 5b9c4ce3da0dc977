#pragma once
// kamomail read --watch: stays running and reads each chosen mailbox once PostPet has written it
// and its files have been still for the settle time (MailboxWatch), one line per read on `out`.
// A read that fails (the archive locked by another program) is tried again after a back-off, and a
// mailbox that reads as damaged while it may still be being written is read again rather than
// reported; the line says when.
// Holds the instance lock while it runs, as every terminal command does. SIGTERM, SIGINT and SIGHUP
// end it with status 0: they are held while a read runs, so the read ends first (each mailbox is
// stored in one transaction) and the archive is closed and sealed as usual.
//
// Exit status: 0 when ended by a signal; 1 when it could not start (another copy runs, no library,
// nothing chosen to read, no inotify, the archive or the filters failed).
#include <chrono>
#include <iosfwd>
#include <string>

namespace kamo {

struct WatchOptions {
    std::string postPetDir; // overrides "PostPet Dir" when not empty
    bool all = false;       // all eleven mailboxes rather than the ticked ones
    std::chrono::milliseconds settle{2000};
};

int RunReadWatch(const WatchOptions& options, std::ostream& out, std::ostream& err);

} // namespace kamo
