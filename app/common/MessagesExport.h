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
};

const char* TextOf(ExportText code);

} // namespace kamo
