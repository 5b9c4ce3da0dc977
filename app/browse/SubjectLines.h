#pragma once
// The text of the right list's lines.
#include <cstddef>
#include <string>
#include <string_view>

#include "common/MailRecord.h"

namespace kamo {

// One line of the right list: the mail's identity and the text shown.
struct SubjectLine {
    MailKey key;
    std::string subject;
    std::string text;
};

// The count under the list (BrowseText::RecCount), N with separators.
std::string RecCountText(size_t count);

// date8 "yyyymmdd", time6 "hhmmss". Pads the part before the subject to 55 CP932 bytes, so subjects
// line up in a fixed-pitch font.
std::string FormatSubjectLine(std::string_view date8, std::string_view time6, bool sent, std::string_view sndName,
                              std::string_view rcvName, std::string_view subject);
// The same from a stored mail's identity ("yyyy/mm/dd", "hh:mm:ss").
std::string FormatSubjectLine(const MailKey& key, std::string_view subject);

// The line of a mail grouped under its conversation's first: the columns before the subject as in
// every line, a mark before the subject (BrowseText::ReplySubject).
std::string ReplySubjectLine(const MailKey& key, std::string_view subject);

} // namespace kamo
