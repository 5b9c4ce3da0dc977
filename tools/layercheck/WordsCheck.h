#pragma once
// Where the program's words live: the user reads Japanese only from the windows (files named frm*
// and Qt*), the catalogue (common/Messages*, and common/CommandTable.cpp's help lines) and the
// files listed in app/words.txt, whose non-ASCII strings are not messages (a document's text, data
// the archive stores, words matched in mail). Every other file under app/ that is not a test holds
// no string literal with a byte outside ASCII.
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace layercheck {

// The line numbers (from 1) of the string literals in C++ source `text` that hold a byte outside
// ASCII. Comments, character literals and raw strings are understood.
std::vector<int> NonAsciiLiterals(const std::string& text);

// Lines "path reason..." (path relative to app/); '#' starts a comment. Problems go to `errors`.
std::set<std::string> ParseWordsList(const std::string& text, std::vector<std::string>& errors);

// Every literal out of place under `appDir` ("file:line: ..."), and every listed file that holds no
// such literal any more or does not exist; empty when the tree keeps its words at the edges.
std::vector<std::string> CheckWords(const std::filesystem::path& appDir, const std::set<std::string>& listed);

} // namespace layercheck
