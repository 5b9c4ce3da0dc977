#include "export/MailAttachments.h"

namespace kamo {

MailAttachmentReader::MailAttachmentReader(SQLite::Database& db) {
    if (!db.tableExists("tblAttachment"))
        return;
    select_.emplace(db, "SELECT tblAttachment_Name, tblAttachment_Type, tblAttachment_Data FROM tblAttachment"
                        " WHERE tblAttachment_YMD = ?1 AND tblAttachment_HMS = ?2 AND tblAttachment_SubKey = ?3"
                        " AND tblAttachment_SndRcvFlag = ?4 AND tblAttachment_SndAdd = ?5"
                        " AND tblAttachment_RcvAdd = ?6 ORDER BY tblAttachment_No");
}

std::vector<MailAttachment> MailAttachmentReader::Read(const MailRecord& mail) {
    std::vector<MailAttachment> list;
    if (!select_)
        return list;
    SQLite::Statement& st = *select_;
    st.reset();
    st.bind(1, mail.ymd);
    st.bind(2, mail.hms);
    st.bind(3, mail.subKey);
    st.bind(4, mail.sent ? 1 : 0);
    st.bind(5, mail.sndAdd);
    st.bind(6, mail.rcvAdd);
    while (st.executeStep()) {
        const SQLite::Column data = st.getColumn(2);
        const auto* bytes = static_cast<const char*>(data.getBlob());
        list.push_back({st.getColumn(0).getString(), st.getColumn(1).getString(),
                        bytes ? std::string(bytes, static_cast<std::size_t>(data.getBytes())) : std::string()});
    }
    st.reset();
    return list;
}

} // namespace kamo
