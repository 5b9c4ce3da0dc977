#include "common/MailHead.h"

namespace kamo {
namespace {

struct FormLine {
    HeadKind kind;
    const char* label;
};

struct FormDef {
    std::vector<FormLine> lines;
    PartyForm party;
    const char* noSubject;   // what an empty subject reads as; nullptr: left empty
    bool receiverOfSentOnly; // received mail names its sender alone
};

const FormDef& DefOf(HeadForm form) {
    using K = HeadKind;
    static const FormDef kWindow{
        {{K::Sender, "送信者"}, {K::Subject, "件　名"}, {K::Receiver, "受信者"}, {K::Date, "日　時"}},
        PartyForm::Window,
        nullptr,
        false};
    static const FormDef kConversation{
        {{K::Sender, ""}, {K::Receiver, ""}, {K::Date, ""}, {K::Subject, ""}}, PartyForm::StoredName, nullptr, true};
    static const FormDef kPrint{{{K::Subject, ""}, {K::Date, "日付"}, {K::Sender, "差出人"}, {K::Receiver, "宛先"}},
                                PartyForm::Page,
                                "（件名なし）",
                                false};
    static const FormDef kHtmlPage{
        {{K::Subject, ""}, {K::Date, "日付"}, {K::Sender, "差出人"}, {K::Receiver, "宛先"}, {K::Direction, "種類"}},
        PartyForm::Page,
        "（件名なし）",
        false};
    switch (form) {
    case HeadForm::Window:
        return kWindow;
    case HeadForm::Conversation:
        return kConversation;
    case HeadForm::Print:
        return kPrint;
    case HeadForm::HtmlPage:
        break;
    }
    return kHtmlPage;
}

bool Named(const std::string& name, PartyForm form) {
    if (name == kNoName)
        return false;
    // The window takes a name of spaces for none too, as its name list does.
    return form == PartyForm::Window ? name.find_first_not_of(" \t") != std::string::npos : !name.empty();
}

} // namespace

std::string PartyText(const std::string& name, const std::string& address, PartyForm form) {
    if (form == PartyForm::StoredName)
        return name;
    if (!Named(name, form)) {
        if (!address.empty())
            return address;
        return form == PartyForm::Window ? "（名前なし）" : "（なし）";
    }
    return address.empty() ? name : name + " <" + address + ">";
}

std::vector<HeadField> MailHead(const MailRecord& mail, HeadForm form) {
    const FormDef& def = DefOf(form);
    std::vector<HeadField> fields;
    for (const FormLine& line : def.lines) {
        std::string value;
        switch (line.kind) {
        case HeadKind::Subject:
            value = mail.subject.empty() && def.noSubject ? def.noSubject : mail.subject;
            break;
        case HeadKind::Date:
            value = mail.ymd + " " + mail.hms;
            break;
        case HeadKind::Sender:
            value = PartyText(mail.sndName, mail.sndAdd, def.party);
            break;
        case HeadKind::Receiver:
            if (def.receiverOfSentOnly && !mail.sent)
                continue;
            value = PartyText(mail.rcvName, mail.rcvAdd, def.party);
            break;
        case HeadKind::Direction:
            value = mail.sent ? "送信メール" : "受信メール";
            break;
        }
        fields.push_back({line.kind, line.label, std::move(value)});
    }
    return fields;
}

} // namespace kamo
