#include "browse/SubjectLines.h"

#include "common/AsciiText.h"
#include "common/CodePage.h"
#include "common/Messages.h"
#include "common/MessagesBrowse.h"
#include "common/NumberText.h"

namespace kamo {
namespace {

// VB's Mid: whatever of the range exists.
std::string_view Mid(std::string_view s, size_t start, size_t length) {
    if (start >= s.size())
        return {};
    return s.substr(start, length);
}

constexpr size_t kSubjectColumn = 55;

} // namespace

std::string RecCountText(size_t count) {
    return Say(BrowseText::RecCount, {WithSeparators(static_cast<int64_t>(count))});
}

std::string FormatSubjectLine(std::string_view date8, std::string_view time6, bool sent, std::string_view sndName,
                              std::string_view rcvName, std::string_view subject) {
    std::string s;
    s.reserve(96);
    s.append(Mid(date8, 0, 4)).append("/").append(Mid(date8, 4, 2)).append("/").append(Mid(date8, 6, 2));
    s.append(" ");
    s.append(Mid(time6, 0, 2)).append(":").append(Mid(time6, 2, 2)).append(":").append(Mid(time6, 4, 2));
    s.append(" ");
    if (sent)
        s.append(Say(BrowseText::SentLine, {std::string(TrimAscii(rcvName, kSpace))}));
    else
        s.append(Say(BrowseText::ReceivedLine, {std::string(TrimAscii(sndName, kSpace))}));
    s.append(" ");
    size_t width = Cp932Length(s);
    if (width <= kSubjectColumn)
        s.append(kSubjectColumn - width, ' ');
    s.append(TrimAscii(subject, kSpace));
    return s;
}

std::string FormatSubjectLine(const MailKey& key, std::string_view subject) {
    return FormatSubjectLine(DigitsOf(key.ymd), DigitsOf(key.hms), key.sent, key.sndName, key.rcvName, subject);
}

std::string ReplySubjectLine(const MailKey& key, std::string_view subject) {
    return FormatSubjectLine(key, Say(BrowseText::ReplySubject, {std::string(TrimAscii(subject, kSpace))}));
}

} // namespace kamo
