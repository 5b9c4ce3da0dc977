#pragma once
// The text side of the search: the folding that makes letter case and character width not matter.
#include <string>
#include <string_view>

namespace kamo {

// The filters' two foldings in one: ToFullWidth(FoldCase(text)) (filters/FilterText.h), so "ＡＢＣ",
// "abc" and "ABC" all become "ａｂｃ" and half-width katakana becomes full-width. The same result as
// those two calls, at many times their speed: the index folds every mail with it. Bytes that are not
// well-formed UTF-8 become U+FFFD, as in ToFullWidth. One addition: every quotation mark
// (' " ‘ ’ “ ” ＇ ＂) becomes ’, the mark stored mail holds in their place.
std::string SearchFold(std::string_view utf8);
// Appends the folded form of `utf8` to `out` (the index reuses one buffer per field).
void AppendSearchFolded(std::string_view utf8, std::string& out);

// The number of characters (code points) of UTF-8 text.
size_t CharCount(std::string_view utf8);

} // namespace kamo
