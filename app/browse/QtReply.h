#pragma once
// 返信: the chosen mail's reply as a mailto: link (its reply address, "Re: " and its subject) handed
// to the desktop's mail program.
#include <QUrl>
#include <functional>
#include <optional>

#include "common/MailRecord.h"
#include "common/Prompter.h"

namespace kamo {

// Tells the user when no mail is chosen, it has no address to reply to, or `open` fails.
void ReplyToMail(const std::optional<MailRecord>& mail, Prompter& prompter,
                 const std::function<bool(const QUrl&)>& open);

} // namespace kamo
