#pragma once
// Realistic Japanese mail as the archive stores it, from the mailbox writer's generator, for the
// search and export tests: decoded to UTF-8, some of it in other letter cases and character widths
// (half-width katakana, full-width ASCII), so that folding matters.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <unicode/translit.h>
#include <unicode/unistr.h>

#include "common/CodePage.h"
#include "common/MailRecord.h"
#include "db/MailRows.h"
#include "db/Schema.h"
#include "ppwriter/MailboxWriter.h"

namespace kamo::test {

inline std::string Transliterated(const char* id, const std::string& text) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> t(icu::Transliterator::createInstance(id, UTRANS_FORWARD, status));
    auto s = icu::UnicodeString::fromUTF8(text);
    if (t)
        t->transliterate(s);
    std::string out;
    s.toUTF8String(out);
    return out;
}

// Another way of writing the same text: half width, full width or ASCII in upper case.
inline std::string Rewritten(const std::string& text, unsigned how) {
    switch (how % 3) {
    case 0:
        return Transliterated("Fullwidth-Halfwidth", text);
    case 1:
        return Transliterated("Halfwidth-Fullwidth", text);
    default: {
        std::string s = text;
        for (char& c : s)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        return s;
    }
    }
}

// "name <address>" or a bare address, as the generator writes them.
inline void SplitParty(const std::string& text, std::string& name, std::string& address) {
    const auto lt = text.find('<');
    const auto gt = text.find('>');
    if (lt != std::string::npos && gt != std::string::npos && gt > lt) {
        name = text.substr(0, lt);
        while (!name.empty() && name.back() == ' ')
            name.pop_back();
        address = text.substr(lt + 1, gt - lt - 1);
    } else {
        name = "設定無し";
        address = text;
    }
    if (name.empty())
        name = "設定無し";
}

inline std::vector<MailRecord> GeneratedMails(size_t n, uint64_t seed) {
    ppw::MailGenerator generator(seed);
    std::mt19937_64 rng(seed);
    std::vector<MailRecord> mails;
    for (size_t i = 0; i < n; ++i) {
        const ppw::Mail g = generator.Next();
        MailRecord m;
        char ymd[16];
        char hms[16];
        std::snprintf(ymd, sizeof ymd, "%04d/%02d/%02d", 1999 + static_cast<int>(rng() % 4),
                      1 + static_cast<int>(rng() % 12), 1 + static_cast<int>(rng() % 28));
        std::snprintf(hms, sizeof hms, "%02d:%02d:%02d", static_cast<int>(rng() % 24), static_cast<int>(rng() % 60),
                      static_cast<int>(rng() % 60));
        m.ymd = rng() % 50 == 0 ? "0000/00/00" : ymd; // a few unreadable dates
        m.hms = m.ymd == "0000/00/00" ? "00:00:00" : hms;
        m.subKey = static_cast<int64_t>(i);
        m.sent = rng() % 3 == 0;
        SplitParty(Cp932ToUtf8(g.from), m.sndName, m.sndAdd);
        SplitParty(Cp932ToUtf8(g.to), m.rcvName, m.rcvAdd);
        m.subject = Cp932ToUtf8(g.subject);
        m.body = Cp932ToUtf8(g.body);
        if (rng() % 4 == 0) {
            const unsigned how = static_cast<unsigned>(rng());
            m.subject = Rewritten(m.subject, how);
            m.sndName = Rewritten(m.sndName, how + 1);
            m.body = Rewritten(m.body, how + 2);
        }
        m.include = "0";
        mails.push_back(std::move(m));
    }
    return mails;
}

// Inserts a mail with its body spread over the sixteen pieces, cut at random character boundaries
// (the archive may hold a body cut anywhere between characters); returns its rowid.
inline int64_t InsertSpread(SQLite::Database& db, const MailRecord& m, std::mt19937_64& rng) {
    std::string sql = "INSERT INTO tblKamoMail (tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey, "
                      "tblKamoMail_SndRcvFlag, tblKamoMail_SndName, tblKamoMail_SndAdd, tblKamoMail_RcvName, "
                      "tblKamoMail_RcvAdd, tblKamoMail_Subject, tblKamoMail_Include";
    for (int i = 1; i <= kBodyPieces; ++i)
        sql += ", tblKamoMail_Mail" + std::to_string(i);
    sql += ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?";
    for (int i = 1; i <= kBodyPieces; ++i)
        sql += ", ?";
    sql += ")";
    SQLite::Statement st(db, sql);
    int n = 1;
    st.bind(n++, m.ymd);
    st.bind(n++, m.hms);
    st.bind(n++, m.subKey);
    st.bind(n++, m.sent ? 1 : 0);
    st.bind(n++, m.sndName);
    st.bind(n++, m.sndAdd);
    st.bind(n++, m.rcvName);
    st.bind(n++, m.rcvAdd);
    st.bind(n++, m.subject);
    st.bind(n++, m.include);
    size_t pos = 0;
    for (int piece = 0; piece < kBodyPieces; ++piece) {
        size_t end = m.body.size();
        if (piece + 1 < kBodyPieces && pos < m.body.size() && rng() % 2 == 0) {
            end = pos + 1 + rng() % 40;
            while (end < m.body.size() && (static_cast<unsigned char>(m.body[end]) & 0xC0) == 0x80)
                ++end;
            end = std::min(end, m.body.size());
        }
        st.bind(n++, m.body.substr(pos, end - pos));
        pos = end;
    }
    st.exec();
    return db.getLastInsertRowid();
}

} // namespace kamo::test
