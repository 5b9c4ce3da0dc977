#pragma once
// The search as a plain scan: every mail folded with the filters' own functions, every word looked
// for in every field. What the index must give, mail for mail and in the same order.
#include <array>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "db/MailRows.h"
#include "db/Schema.h"
#include "filters/FilterText.h"
#include "search/SearchQuery.h"

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

} // namespace kamo::test
