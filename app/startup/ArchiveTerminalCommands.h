#pragma once
// The archive's upkeep from a terminal, with the same instance lock, settings and data folder as the
// window:
//   kamomail friends --read FILE         PostPet's friend file into the friend book
//   kamomail export --format csv DIR     every table as CSV into DIR (a format of `kamomail export`)
//   kamomail import --format csv DIR     such a folder back into the archive
//   kamomail backup                      today's backup; prints its path
//   kamomail backups                     lists the backups: date, size, mails, path
//   kamomail trash [--restore | --empty] lists the trash: batch, its time, date and time, sender,
//                                        receiver, subject; --restore puts the last deletion back
//                                        (as 元に戻す), --empty removes every trashed mail for good
// Exit status: 0 done, 1 failed (told on standard error), 2 wrong arguments.
#include <iosfwd>
#include <string>
#include <vector>

namespace kamo {

int RunFriendsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// The csv format of `kamomail export`, its arguments parsed there: every table into `folder`.
int RunTableExportCommand(const std::string& folder, std::ostream& out, std::ostream& err);
int RunTableImportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunBackupCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunBackupsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunTrashCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The same on standard output and standard error (the program's command table calls these).
int FriendsCommand(const std::vector<std::string>& args);
int ImportCommand(const std::vector<std::string>& args);
int BackupCommand(const std::vector<std::string>& args);
int BackupsCommand(const std::vector<std::string>& args);
int TrashCommand(const std::vector<std::string>& args);

} // namespace kamo
