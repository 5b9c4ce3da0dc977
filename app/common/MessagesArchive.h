#pragma once
// The catalogue's chapter of the archive itself: its start (the splash's steps, the broken or busy
// archive), its upkeep (backup, recreation, the tables as CSV), the settings file's errors, the
// pictures' notes in the reading pane, and the words every command uses for an error it did not
// expect. Details go where "{1}", "{2}" ... stand.
namespace kamo {

enum class ArchiveText {
    // The start.
    SettingsFolderUnwritable, // {1} why, {2} the settings folder
    AlreadyRunning,           //
    AlreadyRunningStarting,   // {1} what the running copy's start is doing
    CheckingArchive,          // the splash's steps, also the busy note a second start reads
    InspectingArchive,        //
    UpgradingArchive,         //
    CreatingArchive,          //
    Compacting,               //
    OpeningArchive,           //
    PreparingList,            //
    ArchiveInUse,             // {1} the archive
    ArchiveInUseBy,           // {1} the archive, {2} the lock holder (LockHolder)
    LockHolder,               // {1} the process's name, {2} its id
    UnknownProcess,           // the lock holder's name when it has none
    ArchiveBroken,            // {1} the archive, {2} what is wrong
    NoSoundCopy,              // {1} ArchiveBroken's words
    RestoreQuestion,          // {1} ArchiveBroken's words, {2} the copy's name, {3} the name the broken file takes
    RestoreDeclined,          // {1} ArchiveBroken's words, {2} the copy, {3} the archive
    RestoreFailed,            // {1} ArchiveBroken's words, {2} the system's reason
    ReplaceArchiveQuestion,   // a new archive where a file is
    ReplaceArchiveTitle,      //
    FileError,                // {1} the file, {2} the error's words
    SettingsWriteError,       // {1} the settings file
    SettingsPostPetDirError,  // {1} the settings file

    // Errors nobody expected.
    ErrorOccurred,  // {1} the error's words
    TerminalError,  // {1} the command, {2} the error's words
    UnknownCommand, // {1} the word given, {2} the command names
    NoDisplay,      // {1} the command names

    // The trash on the terminal.
    TrashEmptied,  // {1} how many mails went
    TrashRestored, // {1} how many mails came back

    // Upkeep.
    BackupFailed,             // {1} the error's words
    BackupTitle,              //
    RecreateQuestion,         //
    RecreateTitle,            //
    RecreateFailed,           // {1} the error's words
    Recreated,                //
    TablesExportFailed,       // {1} the error's words
    TablesExportTitle,        //
    TablesExported,           // {1} the folder; the tables' lines follow
    TableExported,            // {1} the table's caption, {2} its name, {3} its rows
    TablesImportFailed,       // {1} the error's words
    TablesImportTitle,        //
    TablesImported,           // {1} the folder; the tables' lines follow
    TableImported,            // {1} the table's caption, {2} rows added, {3} rows already stored
    TableRebuilt,             // {1} the table's caption: a derived table made again, its file unread
    TablesImportedUnfiltered, // imported, but the filters failed
    TableCaption,             // {1} what the table holds (one of the Table* below), {2} its name
    TableMail,                //
    TableAddresses,           //
    TableNames,               //
    TableFriends,             //
    TableFilters,             //
    TableFilterResults,       //
    TableAttachments,         //
    TableOriginalNames,       //

    // The reading pane's pictures.
    PictureNote,    // a picture that cannot be shown, under its name
    PictureCutNote, // a picture shown in part
};

const char* TextOf(ArchiveText code);

} // namespace kamo
