#pragma once
// The text of an HTML mail part, for a mail that has no plain-text version.
#include <string>
#include <string_view>

namespace kamo {

// UTF-8 HTML to plain UTF-8 text with "\n" line breaks: tags go (the head, scripts, styles and
// comments with all they hold), <br> and the ends of paragraphs, divisions, list items, table rows
// and headings become line breaks, runs of blanks and source line breaks become one blank (not in
// <pre>), character references are decoded, a link keeps its target after its text ("text <URL>")
// unless the text is the target. Blank lines at either end go, and so do blanks at the end of a
// line. Time linear in the text.
std::string HtmlToText(std::string_view html);

// The charset an HTML text names in a <meta> tag near its start ("" when none): for a part whose
// header declares none.
std::string HtmlMetaCharset(std::string_view html);

} // namespace kamo
