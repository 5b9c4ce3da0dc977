#include "export/MailSelection.h"

#include "common/Messages.h"
#include "common/MessagesExport.h"
#include "search/SearchQuery.h"

namespace kamo {
namespace {

// The mails of a selection other than a search's; nothing for all mail.
std::optional<MailGroup> GroupOf(const MailSelection& selection) {
    MailGroup group;
    switch (selection.kind) {
    case MailSelection::Kind::Address:
        group.kind = MailGroup::Kind::Address;
        break;
    case MailSelection::Kind::Name:
        group.kind = MailGroup::Kind::Name;
        break;
    case MailSelection::Kind::Date:
        group.kind = MailGroup::Kind::Date;
        break;
    case MailSelection::Kind::Filter:
        group.kind = MailGroup::Kind::Filter;
        break;
    case MailSelection::Kind::Mail:
        group.kind = MailGroup::Kind::Mail;
        break;
    default:
        return std::nullopt;
    }
    group.key = selection.key;
    group.filterNo = selection.filterNo;
    group.mail = selection.mail;
    return group;
}

} // namespace

std::string MailSelection::Describe() const {
    switch (kind) {
    case Kind::All:
        return Say(ExportText::SelectionAll);
    case Kind::Address:
        return Say(ExportText::SelectionAddress, {key});
    case Kind::Name:
        return Say(ExportText::SelectionName, {key});
    case Kind::Date:
        return Say(ExportText::SelectionDate, {key});
    case Kind::Filter:
        return Say(ExportText::SelectionFilter, {key.empty() ? std::to_string(filterNo) : key});
    case Kind::Search:
        return Say(ExportText::SelectionSearch, {key});
    case Kind::Mail:
        return Say(ExportText::SelectionMail, {key.empty() ? Say(ExportText::NoSubject) : key});
    }
    return {};
}

SelectionStream::SelectionStream(SQLite::Database& db, const MailSelection& selection) {
    if (selection.kind == MailSelection::Kind::Search) {
        search_ = std::make_unique<SearchStream>(db, selection.key);
        search_->SetSliceTime(std::chrono::milliseconds(0));
        return;
    }
    rows_ = std::make_unique<GroupRowStream>(db, GroupOf(selection));
    total_ = rows_->Total();
}

SelectionStream::~SelectionStream() = default;

bool SelectionStream::Read(std::vector<int64_t>& out, size_t maxRows) {
    if (done_)
        return false;
    if (search_) {
        done_ = !search_->Read(out, maxRows);
        return !done_;
    }
    done_ = !rows_->Read(out, maxRows);
    return !done_;
}

} // namespace kamo
