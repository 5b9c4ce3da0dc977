#pragma once
// The catalogue: the words the user is shown for each Failure. Only the edges call it: the window's
// handlers and the commands that tell the user through their Prompter, and the terminal's commands.
//
// What is not a failure (a question, a notice, a summary's captions, the wait window's lines) is
// worded by the catalogue's chapters, common/Messages*.h: each declares its codes as an enum and
// `TextOf(code)`, and Say() puts the details in. Logic names codes and details; the words live only
// here.
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "common/Failure.h"

namespace kamo {

// The catalogue's text of a code, with "{1}", "{2}" ... where its details go and "{c}" where its
// cause's words go. Empty for none.
const char* MessageTemplate(FailureCode code);

// The failure in the user's words: its code's text with its details (and its cause's words) put in.
std::string MessageOf(const Failure& failure);

// The short form of a mailbox's failure, the note beside it in the read's summary; the message
// itself for codes that have no short form.
const char* NoteTemplate(FailureCode code);
std::string NoteOf(const Failure& failure);

// What an error says to the user: a Failure in the catalogue's words, SQLite's busy or locked
// (another program holds the archive) as ArchiveBusy, any other exception (SQLite, out of memory,
// the OS) by its own what().
std::string ErrorText(const std::exception& error);

// A catalogue text with "{1}", "{2}" ... replaced by the details, each put in as it is.
std::string FillText(std::string_view text, const std::vector<std::string>& details);

// The words of a code of one of the catalogue's chapters, with its details put in.
template <class Code> std::string Say(Code code, const std::vector<std::string>& details = {}) {
    return FillText(TextOf(code), details);
}

} // namespace kamo
