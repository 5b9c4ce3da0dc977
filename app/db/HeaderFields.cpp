#include "db/HeaderFields.h"

#include "common/AsciiText.h"
#include "db/MailRows.h"

namespace kamo {
namespace {

constexpr size_t kMaxMessageId = 250;

const std::string kKeyWhere = " WHERE " + MailKeyCondition("tblHeaderFields");

} // namespace

bool IsMessageId(std::string_view id) {
    if (id.size() < 5 || id.size() > kMaxMessageId || id.front() != '<' || id.back() != '>')
        return false;
    const std::string_view inner = id.substr(1, id.size() - 2);
    const size_t at = inner.find('@');
    if (at == std::string_view::npos || at == 0 || at + 1 == inner.size())
        return false;
    for (char c : inner)
        if (c <= 0x20 || c >= 0x7F || c == '<' || c == '>')
            return false;
    return true;
}

std::vector<std::string> MessageIds(std::string_view value) {
    std::vector<std::string> ids;
    size_t pos = 0;
    size_t end = 0; // the first ">" after pos, found once (linear however many "<" there are)
    while ((pos = value.find('<', pos)) != std::string_view::npos) {
        if (end <= pos && (end = value.find('>', pos)) == std::string_view::npos)
            break;
        const std::string_view id = value.substr(pos, end - pos + 1);
        if (IsMessageId(id)) {
            ids.emplace_back(id);
            pos = end + 1;
        } else {
            ++pos; // "<<id@host>": the next "<" may begin one
        }
    }
    return ids;
}

std::string JoinedMessageIds(std::string_view value) {
    std::string joined;
    for (const auto& id : MessageIds(value))
        joined += (joined.empty() ? "" : " ") + id;
    return joined;
}

std::string PartiesText(const std::vector<MailParty>& parties) {
    std::string text;
    for (const auto& p : parties)
        text += (text.empty() ? "" : "\n") + OneLine(p.address) + "\t" + OneLine(p.name);
    return text;
}

std::vector<MailParty> PartiesOf(std::string_view text) {
    std::vector<MailParty> parties;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(start, end - start);
        const size_t tab = line.find('\t');
        MailParty p;
        p.address = std::string(line.substr(0, tab));
        if (tab != std::string_view::npos)
            p.name = std::string(line.substr(tab + 1));
        if (!p.address.empty() || !p.name.empty())
            parties.push_back(std::move(p));
        start = end + 1;
    }
    return parties;
}

namespace {

std::string InsertSql(const char* verb) {
    return std::string(verb) +
           " INTO tblHeaderFields (tblHeaderFields_YMD, tblHeaderFields_HMS, tblHeaderFields_SubKey, "
           "tblHeaderFields_SndRcvFlag, tblHeaderFields_SndAdd, tblHeaderFields_RcvAdd, tblHeaderFields_MessageId, "
           "tblHeaderFields_InReplyTo, tblHeaderFields_References, tblHeaderFields_Cc, tblHeaderFields_ReplyTo) "
           "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)";
}

} // namespace

HeaderFieldWriter::HeaderFieldWriter(SQLite::Database& db)
    : insert_(db, InsertSql("INSERT OR REPLACE")), insertNew_(db, InsertSql("INSERT OR IGNORE")),
      drop_(db, "DELETE FROM tblHeaderFields" + kKeyWhere),
      select_(db, "SELECT tblHeaderFields_MessageId, tblHeaderFields_InReplyTo, tblHeaderFields_References, "
                  "tblHeaderFields_Cc, tblHeaderFields_ReplyTo FROM tblHeaderFields" +
                      kKeyWhere) {}

void HeaderFieldWriter::Run(SQLite::Statement& st, const MailKey& key, const HeaderFields& fields) {
    st.reset();
    BindMailKey(st, 1, key);
    if (!fields.Empty()) {
        st.bind(7, fields.messageId);
        st.bind(8, fields.inReplyTo);
        st.bind(9, fields.references);
        st.bind(10, PartiesText(fields.cc));
        st.bind(11, PartiesText(fields.replyTo));
    }
    st.exec();
    st.reset();
}

void HeaderFieldWriter::Put(const MailKey& key, const HeaderFields& fields) {
    Run(fields.Empty() ? drop_ : insert_, key, fields);
}

void HeaderFieldWriter::Keep(const MailKey& key, const HeaderFields& fields) {
    if (!fields.Empty())
        Run(insertNew_, key, fields);
}

bool HeaderFieldWriter::Holds(const MailKey& key, const HeaderFields& fields) {
    select_.reset();
    BindMailKey(select_, 1, key);
    bool same = fields.Empty();
    if (select_.executeStep()) {
        const std::string values[] = {fields.messageId, fields.inReplyTo, fields.references, PartiesText(fields.cc),
                                      PartiesText(fields.replyTo)};
        same = !fields.Empty();
        for (int i = 0; i < 5 && same; ++i)
            same = select_.getColumn(i).isText() && select_.getColumn(i).getString() == values[i];
    }
    select_.reset();
    return same;
}

HeaderFieldReader::HeaderFieldReader(SQLite::Database& db) : db_(db) {
    SQLite::Statement q(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'tblHeaderFields'");
    if (q.executeStep())
        select_.emplace(db, std::string("SELECT tblHeaderFields_MessageId, tblHeaderFields_InReplyTo, "
                                        "tblHeaderFields_References, tblHeaderFields_Cc, tblHeaderFields_ReplyTo "
                                        "FROM tblHeaderFields") +
                                kKeyWhere);
}

HeaderFields HeaderFieldReader::Read(const MailKey& key) {
    HeaderFields fields;
    if (!select_)
        return fields;
    SQLite::Statement& st = *select_;
    st.reset();
    BindMailKey(st, 1, key);
    if (st.executeStep()) {
        // Whatever a CSV import or another program put there is checked again here.
        const std::string id = st.getColumn(0).getString();
        fields.messageId = IsMessageId(id) ? id : std::string();
        fields.inReplyTo = JoinedMessageIds(st.getColumn(1).getString());
        fields.references = JoinedMessageIds(st.getColumn(2).getString());
        fields.cc = PartiesOf(st.getColumn(3).getString());
        fields.replyTo = PartiesOf(st.getColumn(4).getString());
    }
    st.reset();
    return fields;
}

std::vector<std::string> HeaderFieldReader::RepeatedMessageIds() {
    std::vector<std::string> ids;
    if (!select_)
        return ids;
    SQLite::Statement q(db_, "SELECT tblHeaderFields_MessageId FROM tblHeaderFields WHERE tblHeaderFields_MessageId "
                             "<> '' GROUP BY tblHeaderFields_MessageId HAVING COUNT(*) > 1");
    while (q.executeStep())
        ids.push_back(q.getColumn(0).getString());
    return ids;
}

} // namespace kamo
