#pragma once
// The catalogue's chapter of browsing: the main window's captions that follow the view mode, the
// texts of its lists (keys, mail lines, attachments, the years' tool tips), the deletion's and the
// trash's questions and notices, the filter editor's checks, and what `kamomail list` says.
namespace kamo {

enum class BrowseText {
    // lblNameOrAddr and cmdAddrDel (caption, tool tip) of each view mode.
    AddressLabel,
    AddressDelete,
    AddressDeleteTip,
    NameLabel,
    NameDelete,
    NameDeleteTip,
    DateLabel,
    DateDelete,
    DateDeleteTip,
    FilterLabel,
    FilterDelete,
    FilterDeleteTip,
    // The lists.
    RecCount,           // {1} the lines shown, with separators
    SentLine,           // a sent mail's columns before the subject; {1} the receiver
    ReceivedLine,       // a received mail's; {1} the sender
    ReplySubject,       // {1} the subject of a mail grouped under its conversation's first
    NoName,             // a name key of a party without a name
    ReadTimeFilterLine, // {1} the title of a filter that keeps mail out at the read
    FilterCountLine,    // {1} a view filter's title, {2} the mails it holds, with separators
    AttachmentLabel,    // {1} the file name, {2} the size in bytes with separators
    UnnamedAttachment,  // a file name for an attachment without one; {1} its position, {2} the extension
    MonthOfYear,        // {1} year, {2} month (no leading zero)
    MonthTip,           // {1} the month, {2} received, {3} sent, with separators
    // Deletion.
    DeleteMailAsk,       // {1} date, {2} time, {3} subject
    DeleteAddressAsk,    // {1} address, {2} mails
    DeleteNameAsk,       // {1} name as the list shows it, {2} mails
    DeleteDateAsk,       // {1} date, {2} mails
    DeleteFilterAsk,     // {1} filter title, {2} mails
    AskMovingToTrash,    // {1} one of the five above: the question with what becomes of the mail
    DeletionTitle,       //
    NothingToDelete,     //
    DeletionFailed,      // {1} the error
    DeletedNotFiltered,  //
    RestoreFailed,       // {1} the error
    NothingToRestore,    //
    RestoredNotFiltered, //
    EmptyTrashAsk,       // {1} mails in the trash, with separators
    EmptyTrashTitle,     //
    TrashIsEmpty,        //
    EmptyTrashFailed,    // {1} the error
    // The filter editor's checks of its edit area.
    FilterNoHeader,
    FilterNoRule,
    FilterNoAction,
    FilterNoTerms,
    FilterSpecialChars,
    FilterTableFull,
    FilterTableFullDeleted, // said after FilterTableFull when a deleted row would make room
    // kamomail list
    ListUnknownBy,      // {1} the value given
    ListByWithKey,      //
    ListFormatNeedsKey, //
    ListNoSuchFilter,   // {1} the filter's title
    ListFailed,         // {1} the error's words
};

const char* TextOf(BrowseText code);

} // namespace kamo
