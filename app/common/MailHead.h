#pragma once
// The lines above a mail (its head), composed once for every place that shows them: the main window's
// header label, the conversation page, the print and the HTML folder. Each place asks for its own form,
// which says which fields it shows, in which order, under which labels and how a sender or receiver
// reads; the place only lays out what it gets.
#include <string>
#include <vector>

#include "common/MailRecord.h"

namespace kamo {

// What a field of the head holds, so that each place lays it out its own way (the subject as a
// heading, the others as lines of a table).
enum class HeadKind { Subject, Date, Sender, Receiver, Direction };

struct HeadField {
    HeadKind kind = HeadKind::Subject;
    std::string label; // the place's caption of the field; empty where the place shows none
    std::string value;
    bool operator==(const HeadField&) const = default;
};

// The places that show a mail's head, each with its own fields, order and wording.
enum class HeadForm {
    Window,       // the header label: 送信者, 件　名, 受信者, 日　時
    Conversation, // a mail on the conversation page: the sender and, of sent mail, the receiver by their
                  // names as stored, the date, the subject; no labels
    Print,        // print and PDF: the subject (（件名なし） for none), 日付, 差出人, 宛先
    HtmlPage,     // a mail's page of the HTML folder: as the print, then 種類 (送信メール or 受信メール)
};

// The fields of `mail`'s head in `form`, in the order the place shows them.
std::vector<HeadField> MailHead(const MailRecord& mail, HeadForm form);

// How a sender or receiver reads on one line.
enum class PartyForm {
    Window,     // "name <address>"; without a name (the placeholder, empty or blank) the address
                // alone, with neither （名前なし）
    Page,       // "name <address>"; without a name (the placeholder or empty) the address alone,
                // with neither （なし）
    StoredName, // the name as stored, placeholder and all
};
std::string PartyText(const std::string& name, const std::string& address, PartyForm form);

} // namespace kamo
