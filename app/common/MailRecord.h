#pragma once
// One mail as stored in tblKamoMail. All text is UTF-8.
#include <cstdint>
#include <string>

namespace kamo {

// The name the archive stores for a sender or receiver without one: a placeholder, never a name.
inline constexpr const char* kNoName = "設定無し";

// The identity of a mail: the columns of tblKamoMail's primary index plus the names the lists show.
struct MailKey {
    std::string ymd; // "yyyy/mm/dd"
    std::string hms; // "hh:mm:ss"
    int64_t subKey = 0;
    bool sent = false; // the mail table's direction flag: true for sent mail
    std::string sndName;
    std::string rcvName;
    std::string sndAdd;
    std::string rcvAdd;
    bool operator==(const MailKey&) const = default;
};

struct MailRecord {
    std::string ymd;
    std::string hms;
    int64_t subKey = 0;
    bool sent = false;
    std::string sndName;
    std::string sndAdd;
    std::string rcvName;
    std::string rcvAdd;
    std::string subject;
    std::string body; // whole body, joined; divided over Mail1..Mail16 only when stored
    std::string include;
    bool operator==(const MailRecord&) const = default;
};

// One mailbox of an address list: its address as written and its name (UTF-8, may be empty).
struct MailParty {
    std::string name;
    std::string address;
    bool operator==(const MailParty&) const = default;
};

// The key of a stored mail, names included.
inline MailKey KeyOf(const MailRecord& mail) {
    return {mail.ymd, mail.hms, mail.subKey, mail.sent, mail.sndName, mail.rcvName, mail.sndAdd, mail.rcvAdd};
}

} // namespace kamo
