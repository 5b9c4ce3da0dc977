#pragma once
// Which mails go out: all of them, those of one key of the view modes (an address, a name, a date, a
// filter), those a search finds or the one on display; read a piece at a time, so an export of a million mails keeps
// nothing but the mail being written.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "common/MailRecord.h"
#include "db/MailQueries.h" // MailRowReader, which reads the selected mails

namespace kamo {

class SearchStream;

struct MailSelection {
    enum class Kind { All, Address, Name, Date, Filter, Search, Mail };
    Kind kind = Kind::All;
    std::string key;      // the address, name, date ("yyyy/mm/dd") or search query; a filter's name; a mail's subject
    int64_t filterNo = 0; // Kind::Filter
    MailKey mail;         // Kind::Mail: the one mail (the mail on display)

    static MailSelection All() { return {}; }
    static MailSelection Of(Kind kind, std::string key) { return {kind, std::move(key), 0, {}}; }
    static MailSelection Filter(int64_t number, std::string name = {}) {
        return {Kind::Filter, std::move(name), number, {}};
    }
    static MailSelection OneMail(const MailRecord& mail) { return {Kind::Mail, mail.subject, 0, KeyOf(mail)}; }
    // "すべてのメール", "アドレス kamo@example.jp", "フィルター 山田さん", ... for messages and windows.
    std::string Describe() const;
};

// The rowids of the selected mails: oldest first, except a search result, which comes newest first
// as the search lists it. A search needs an up-to-date index (UpdateSearchIndex) before it starts.
class SelectionStream {
public:
    SelectionStream(SQLite::Database& db, const MailSelection& selection);
    ~SelectionStream();
    SelectionStream(const SelectionStream&) = delete;
    SelectionStream& operator=(const SelectionStream&) = delete;

    // Appends up to maxRows rowids; false once all have been given.
    bool Read(std::vector<int64_t>& out, size_t maxRows);
    // How many mails there are; unknown (nothing) for a search until it has been read.
    std::optional<int64_t> Total() const { return total_; }

private:
    std::unique_ptr<GroupRowStream> rows_;
    std::unique_ptr<SearchStream> search_;
    std::optional<int64_t> total_;
    bool done_ = false;
};

} // namespace kamo
