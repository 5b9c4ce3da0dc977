#include "browse/QtReply.h"

#include <QString>

#include "browse/MailView.h"

namespace kamo {

void ReplyToMail(const std::optional<MailRecord>& mail, Prompter& prompter,
                 const std::function<bool(const QUrl&)>& open) {
    if (!mail) {
        prompter.Message("返信するメールを選択して下さい。");
        return;
    }
    const std::string address = ReplyAddress(*mail);
    if (address.empty()) {
        prompter.Message("このメールには返信先のアドレスがありません。");
        return;
    }
    QUrl url;
    url.setScheme("mailto");
    url.setPath(QString::fromStdString(address), QUrl::DecodedMode);
    // Everything percent-encoded: a subject may hold "&", "=" or "#".
    url.setQuery("subject=" + QString::fromLatin1(QUrl::toPercentEncoding(QString::fromStdString(ReplySubject(*mail)))),
                 QUrl::StrictMode);
    if (!open(url))
        prompter.Message("メールソフトを起動できませんでした。");
}

} // namespace kamo
