#pragma once
// The main window's read command (comMailRead) and the read-options window's place in the option
// dialog. The window's slots call these.
namespace kamo {

class frmKamoMail;
class frmOption;
struct Settings;
class Prompter;

// comMailRead: reads the ticked mailboxes under the wait window, shows the view again and then a
// summary per mailbox. False when the read did not run or failed (the user was told).
bool ComMailRead(frmKamoMail& window);

// Enables the option dialog's read-options button: it opens frmMailReadOpt on copies of the two
// flag rows, which reach `settings` when the option dialog closes with OK.
void HookReadOptions(frmOption& dialog, Settings& settings, Prompter& prompter);

} // namespace kamo
