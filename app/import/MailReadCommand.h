#pragma once
// comMailRead, the read command as the window runs it, and the telling of a read's failures that every
// front end shares.
namespace kamo {

struct ReadSummary;
class ArchiveSession;
class ArchiveView;
class Prompter;
class WaitReporter;

// Reads the mailboxes ticked in the settings while `wait` reports (the window's status bar), has the
// view take the new mail in where the user is, then shows a summary per mailbox. False when the read did not run or
// failed (the user was told).
// Tells what the read's result says went wrong, in the order it happened (not the error that broke
// it off, which each caller words in its own place): the window and the terminal tell the same words.
void TellReadFailures(const ReadSummary& summary, Prompter& prompter);

bool ComMailRead(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view);

} // namespace kamo
