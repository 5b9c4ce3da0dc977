#pragma once
// comMailRead, the read command as the window runs it.
namespace kamo {

class ArchiveSession;
class ArchiveView;
class Prompter;
class WaitReporter;

// Reads the mailboxes ticked in the settings under the wait window, shows the view again and then a
// summary per mailbox. False when the read did not run or failed (the user was told).
bool ComMailRead(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view);

} // namespace kamo
