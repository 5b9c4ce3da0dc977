#pragma once
// comMailRead, the read command as the window runs it.
namespace kamo {

class ArchiveSession;
class ArchiveView;
class Prompter;
class WaitReporter;

// Reads the mailboxes ticked in the settings while `wait` reports (the window's status bar), has the
// view take the new mail in where the user is, then shows a summary per mailbox. False when the read did not run or
// failed (the user was told).
bool ComMailRead(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view);

} // namespace kamo
