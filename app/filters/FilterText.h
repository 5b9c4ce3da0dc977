#pragma once
// Text comparisons of the filter rules, on UTF-8 text.
#include <string>
#include <string_view>

namespace kamo {

// Appends one code point as UTF-8 (nothing for a value that is no code point).
void AppendUtf8(char32_t c, std::string& out);

// Unicode full case folding (default mapping, context free), UTF-8 in and out. Text that is not
// well-formed UTF-8 is folded as far as it decodes; bad bytes are copied unchanged.
std::string FoldCase(std::string_view utf8);
// Appends the folded form of `utf8` to `out`; the row-by-row path of the contains rules uses it with
// a reused buffer.
void AppendFoldedCase(std::string_view utf8, std::string& out);

// ASCII and space to their full-width forms, half-width katakana to full-width katakana with the
// voiced marks joined (ICU "Halfwidth-Fullwidth").
std::string ToFullWidth(std::string_view utf8);

// The archive's text equality (the columns are COLLATE NOCASE): bytes equal after folding ASCII
// letters only, as SQLite's NOCASE does.
bool ArchiveTextEqual(std::string_view a, std::string_view b);

// True when `needle` occurs in `text`, byte for byte. An empty needle occurs nowhere: a filter with
// an empty condition must not take every mail.
bool TextContains(std::string_view text, std::string_view needle);

} // namespace kamo
