#pragma once
// The catalogue's chapter of the mail export: the formats' and read marks' captions, the question
// before a stop that loses work, the words of a selection, and what `kamomail export` says.
namespace kamo {

enum class ExportText {
    // The formats as the window shows them (MailFormats).
    FormatMbox,
    FormatMaildir,
    FormatEml,
    FormatHtml,
    FormatImap,
    // Which mails are marked read (SeenChoices).
    SeenAll,
    SeenSentOnly,
    // Esc during an export that a stop would spoil.
    StopHtmlQuestion, // pages written so far stay without their index
    StopMboxQuestion, // nothing is written
    // A selection in words (MailSelection::Describe).
    SelectionAll,
    SelectionAddress, // {1} the address
    SelectionName,    // {1} the name
    SelectionDate,    // {1} the date
    SelectionFilter,  // {1} the filter's name, or its number
    SelectionSearch,  // {1} the search's words
    SelectionMail,    // {1} the mail's subject, or NoSubject
    NoSubject,
    // kamomail export.
    NoTarget,
    BadSeen,                // {1} the value given
    NoPdfWriter,            //
    NoSuchFilter,           // {1} the number or name given
    NotWritten,             // {1} the error's words
    FormatNotWritten,       // {1} the format's name
    Written,                // {1} mails, {2} the format's name, {3} the selection, {4} the target
    WrittenWithoutOriginal, // {1} mails of an --original export that had no original kept
    // kamomail export --format imap.
    PasswordPrompt,    // {1} the user, {2} the host
    Uploaded,          // {1} the host, {2} the selection
    UploadedFolder,    // {1} the folder, {2} appended, {3} already there, {4} failed
    UploadRefusedMail, // {1} the mail's date, {2} its subject, {3} the server's reason
    UploadStopped,     // {1} mails appended before the stop
    UploadEnded,       // {1} mails appended before the upload ended
};

const char* TextOf(ExportText code);

} // namespace kamo
