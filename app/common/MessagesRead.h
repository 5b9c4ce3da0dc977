#pragma once
// The catalogue's chapter of the PostPet read: the mailboxes' names as PostPet shows them, the
// read's summary (its headline, the table's captions and notes, the text's lines), the watch's
// lines on the terminal and the read's terminal messages. The read counts; these are its words.
namespace kamo {

enum class ReadText {
    // PostPet's eleven mailboxes, as the user knows them.
    Inbox,           //
    Outbox,          //
    DrawerPink,      //
    DrawerYellow,    //
    DrawerPurple,    //
    DrawerGreen,     //
    DrawerBlack,     //
    DrawerLightBlue, //
    DrawerRed,       //
    DrawerBrown,     //
    DrawerOrange,    //
    Totals,          // the totals' row in place of a mailbox's name
    ListJoin,        // two items of a list of notes or names: {1} the list so far, {2} the next one
    InParentheses,   // an aside after a line: {1} the aside
    // The summary's headline.
    HeadlineStopped,  //
    HeadlineProblems, // read, but a mailbox could not be read or a mail was damaged
    HeadlineRead,     //
    // The summary table's captions.
    ColumnMailbox,       //
    ColumnRead,          //
    ColumnStored,        //
    ColumnAlreadyStored, //
    ColumnFiltered,      //
    ColumnDamaged,       //
    ColumnNote,          //
    // The note of a mailbox's row.
    NoteErrorCode,     // {1} the library's result code
    NoteDamagedAt,     // {1} the first positions in the list file
    NoteDamagedAtMore, // {1} the first positions, more follow
    NotePositionJoin,  // {1} the positions so far, {2} the next one
    NoteCut,           // {1} the count
    NoteTrashed,       // {1} the count
    NoteUndecoded,     // {1} the count
    NoteStoppedInside, // the totals' note: {1} the mailbox, {2} the mail at which it stopped
    NoteStoppedAfter,  // the totals' note: {1} the last mailbox read
    // The summary as text, one line per mailbox: the counts, then what applies.
    LineCounts,        // {1} the mailbox, {2} read, {3} stored, {4} already stored, {5} kept out, {6} damaged
    LineCut,           // {1} the count
    LineUpdated,       // {1} the count
    LineTrashed,       // {1} the count
    LineUndecoded,     // {1} the count
    LineDamagedAt,     // {1} the positions in the list file
    LineDamagedAtMore, // {1} the first positions, {2} how many more
    LinePositionJoin,  // {1} the positions so far, {2} the next one
    LineErrorCode,     // {1} the library's result code
    LineStoppedInside, // {1} the mailbox, {2} the mail at which it stopped, {3} its mails
    LineStoppedAfter,  // {1} the last mailbox read
    // The read's error, after the mailboxes read before it were stored.
    ReadBrokenOff,     // the window's: {1} the error's words
    ReadBrokenOffLine, // the terminal's: {1} the error's words
    // The watch, one line each (after the time, or after "kamomail read --watch: ").
    WatchNoSignals,     //
    WatchNothingChosen, //
    WatchStarted,       // {1} the PostPet folder, {2} how many mailboxes
    WatchFolderMissing, //
    WatchFolderBack,    //
    WatchCannotWait,    //
    WatchReadCounts,    // {1} the mailboxes, {2} read, {3} stored, {4} already stored
    WatchTrashed,       // {1} the count
    WatchFiltered,      // {1} the count
    WatchDamaged,       // {1} the count
    WatchBoxProblem,    // {1} the mailbox, {2} its note
    WatchRefreshFailed, //
    WatchNotRead,       // {1} the mailboxes, {2} when they are read again
    WatchReadError,     // {1} the error's words, {2} when the mailboxes are read again
    WatchEnded,         //
    RetryIn,            // {1} seconds
    StillBeingWritten,  // {1} the mailbox, {2} when it is read again
    // The terminal's.
    StartStopped, // a start the filters refused: {1} the failure's words
    AnsweredNo,   // a question the terminal cannot ask: {1} the question
};

const char* TextOf(ReadText code);

} // namespace kamo
