#pragma once
// The search as a plain scan: every mail folded with the filters' own functions, every word looked
// for in every field. What the index must give, mail for mail and in the same order.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "db/Attachments.h"
#include "db/HeaderFields.h"
#include "db/MailRows.h"
#include "db/Schema.h"
#include "filters/FilterText.h"
#include "search/SearchQuery.h"
#include "search/SearchTerms.h"

namespace kamo::test {

struct FoldedMail {
    int64_t rowId = 0;
    std::array<std::string, 6> fields; // subject, names and addresses, the whole body
};

// Stored mail holds ’ for the quotation marks the quote-safe rule replaced: the search folds every
// quotation mark (already widened: ＇ ＂) into it.
inline std::string FoldQuotationMarks(std::string text) {
    for (const char* mark : {"\xE2\x80\x98", "\xE2\x80\x9C", "\xE2\x80\x9D", "\xEF\xBC\x82", "\xEF\xBC\x87"})
        for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at))
            text.replace(at, 3, "\xE2\x80\x99");
    return text;
}

inline std::string ReferenceFold(const std::string& text) {
    return FoldQuotationMarks(ToFullWidth(FoldCase(text)));
}

// Every mail, newest first, folded.
inline std::vector<FoldedMail> FoldArchive(SQLite::Database& db) {
    std::string sql = "SELECT rowid, tblKamoMail_Subject, tblKamoMail_SndName, tblKamoMail_SndAdd, "
                      "tblKamoMail_RcvName, tblKamoMail_RcvAdd";
    for (int i = 1; i <= kBodyPieces; ++i)
        sql += ", tblKamoMail_Mail" + std::to_string(i);
    sql += std::string(" FROM tblKamoMail ORDER BY ") + kNewestFirst;
    SQLite::Statement st(db, sql);
    std::vector<FoldedMail> mails;
    while (st.executeStep()) {
        FoldedMail m;
        m.rowId = st.getColumn(0).getInt64();
        for (int f = 0; f < 5; ++f)
            m.fields[static_cast<size_t>(f)] = ReferenceFold(st.getColumn(1 + f).getString());
        std::string body;
        for (int p = 0; p < kBodyPieces; ++p)
            body += st.getColumn(6 + p).getString();
        m.fields[5] = ReferenceFold(body);
        mails.push_back(std::move(m));
    }
    return mails;
}

inline std::vector<std::string> ReferenceWords(const std::string& query) {
    std::vector<std::string> words;
    std::string word;
    auto flush = [&] {
        if (!word.empty())
            words.push_back(ReferenceFold(word));
        word.clear();
    };
    for (size_t i = 0; i < query.size(); ++i) {
        if (query.compare(i, 3, "\xE3\x80\x80") == 0) {
            flush();
            i += 2;
        } else if (std::string(" \t\r\n\v\f").find(query[i]) != std::string::npos) {
            flush();
        } else {
            word += query[i];
        }
    }
    flush();
    return words;
}

inline std::vector<int64_t> ReferenceSearch(const std::vector<FoldedMail>& mails, const std::string& query) {
    const std::vector<std::string> words = ReferenceWords(query);
    std::vector<int64_t> rows;
    if (words.empty())
        return rows;
    for (const auto& m : mails) {
        bool all = true;
        for (const auto& w : words) {
            bool found = false;
            for (const auto& f : m.fields)
                found = found || f.find(w) != std::string::npos;
            all = all && found;
        }
        if (all)
            rows.push_back(m.rowId);
    }
    return rows;
}

// A mail with all that the fielded terms ask about, read the plain way: its attachments' types, its
// Cc, its mailbox.
struct ReferenceMail {
    FoldedMail folded;
    std::string ymd;
    bool sent = false;
    std::vector<std::string> attachmentTypes;
    std::vector<std::string> cc; // each name and address, folded
    std::optional<std::string> mailbox;
};

inline std::vector<ReferenceMail> ReferenceArchive(SQLite::Database& db) {
    std::vector<ReferenceMail> mails;
    SQLite::Statement head(db, "SELECT tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey, tblKamoMail_SndRcvFlag,"
                               " tblKamoMail_SndAdd, tblKamoMail_RcvAdd FROM tblKamoMail WHERE rowid = ?1");
    SQLite::Statement box(db, "SELECT tblOriginal_Mailbox FROM tblOriginal WHERE " + MailKeyCondition("tblOriginal"));
    HeaderFieldReader fields(db);
    for (auto& folded : FoldArchive(db)) {
        ReferenceMail m;
        head.reset();
        head.bind(1, folded.rowId);
        head.executeStep();
        MailKey key;
        key.ymd = m.ymd = head.getColumn(0).getString();
        key.hms = head.getColumn(1).getString();
        key.subKey = head.getColumn(2).getInt64();
        key.sent = m.sent = head.getColumn(3).getInt64() != 0;
        key.sndAdd = head.getColumn(4).getString();
        key.rcvAdd = head.getColumn(5).getString();
        for (const auto& a : ListAttachments(db, key))
            m.attachmentTypes.push_back(a.contentType);
        for (const auto& party : fields.Read(key).cc) {
            m.cc.push_back(ReferenceFold(party.name));
            m.cc.push_back(ReferenceFold(party.address));
        }
        box.reset();
        BindMailKey(box, 1, key);
        if (box.executeStep())
            m.mailbox = box.getColumn(0).getString();
        m.folded = std::move(folded);
        mails.push_back(std::move(m));
    }
    return mails;
}

inline bool ReferenceMeets(const ReferenceMail& m, const SearchTerm& t) {
    const auto& f = m.folded.fields; // subject, sender name, address, receiver name, address, body
    auto has = [&](size_t i) { return f[i].find(t.text) != std::string::npos; };
    bool met = false;
    switch (t.field) {
    case TermField::Any:
        met = has(0) || has(1) || has(2) || has(3) || has(4) || has(5);
        break;
    case TermField::From:
        met = has(1) || has(2);
        break;
    case TermField::To:
        met = has(3) || has(4);
        for (const auto& c : m.cc)
            met = met || c.find(t.text) != std::string::npos;
        break;
    case TermField::Subject:
        met = has(0);
        break;
    case TermField::Body:
        met = has(5);
        break;
    case TermField::Date:
        met = m.ymd.rfind("0000", 0) != 0 && m.ymd.substr(0, t.dateFrom.size()) >= t.dateFrom &&
              (t.dateTo.empty() || m.ymd.substr(0, t.dateTo.size()) <= t.dateTo);
        break;
    case TermField::Attachment:
        met = !m.attachmentTypes.empty();
        break;
    case TermField::Picture:
        for (const auto& type : m.attachmentTypes)
            met = met || type.rfind("image/", 0) == 0;
        break;
    case TermField::Sent:
        met = m.sent;
        break;
    case TermField::Received:
        met = !m.sent;
        break;
    case TermField::Mailbox:
        met = m.mailbox == t.text;
        break;
    }
    return met != t.negated;
}

inline std::vector<int64_t> ReferenceFieldSearch(const std::vector<ReferenceMail>& mails,
                                                 const std::vector<SearchTerm>& terms) {
    std::vector<int64_t> rows;
    if (terms.empty())
        return rows;
    for (const auto& m : mails) {
        bool all = true;
        for (const auto& t : terms)
            all = all && ReferenceMeets(m, t);
        if (all)
            rows.push_back(m.folded.rowId);
    }
    return rows;
}

} // namespace kamo::test
