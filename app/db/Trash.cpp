#include "db/Trash.h"

#include "db/MailRows.h"
#include "db/Schema.h"

namespace kamo {
namespace {

// `alias` + each column of `table`, joined; the sub-key column, when `subKey` names its parameter,
// is that parameter instead (a restored mail may need another sub-key).
std::string Columns(const TableDef& table, const std::string& alias = {}, const std::string& subKey = {}) {
    std::string sql;
    for (const auto& column : table.columns) {
        sql += sql.empty() ? "" : ", ";
        const bool isSubKey = column.name.size() > 7 && column.name.ends_with("_SubKey");
        sql += isSubKey && !subKey.empty() ? subKey : alias + column.name;
    }
    return sql;
}

// The prefix of a kept table's six key columns ("tblAttachment" for tblAttachment_YMD ...).
std::string KeyPrefix(const TableDef& table) {
    const std::string& first = table.columns.front().name;
    return first.substr(0, first.size() - 4);
}

std::string KeyJoin(const std::string& kept, const std::string& trash, const std::string& prefix) {
    std::string sql;
    for (const char* column : {"_YMD", "_HMS", "_SubKey", "_SndRcvFlag", "_SndAdd", "_RcvAdd"})
        sql += (sql.empty() ? "" : " AND ") + kept + prefix + column + " = " + trash + "tblKamoMail" + column;
    return sql;
}

} // namespace

TrashMove MoveToTrash(SQLite::Database& db, const std::string& where,
                      const std::function<void(SQLite::Statement&)>& bind) {
    const auto& twins = TrashTwins();
    TrashMove move;
    move.batch = db.execAndGet("SELECT ifnull(max(tblTrash_Batch), 0) + 1 FROM tblTrash").getInt64();
    SQLite::Statement rows(db, "INSERT INTO tblTrash (tblTrash_Batch, tblTrash_Time, " + Columns(*twins[0].kept) +
                                   ") SELECT :batch, strftime('%Y/%m/%d %H:%M:%S', 'now', 'localtime'), " +
                                   Columns(*twins[0].kept) + " FROM tblKamoMail WHERE (" + where + ")");
    bind(rows);
    rows.bind(":batch", move.batch);
    move.mails = rows.exec();
    if (move.mails == 0)
        return {};
    for (size_t i = 1; i < twins.size(); ++i) {
        SQLite::Statement kept(db, "INSERT INTO " + twins[i].trash->name + " (tblTrash_Batch, " +
                                       Columns(*twins[i].kept) + ") SELECT t.tblTrash_Batch, " +
                                       Columns(*twins[i].kept, "k.") + " FROM tblTrash AS t JOIN " +
                                       twins[i].kept->name + " AS k ON " +
                                       KeyJoin("k.", "t.", KeyPrefix(*twins[i].kept)) + " WHERE t.tblTrash_Batch = ?1");
        kept.bind(1, move.batch);
        kept.exec();
    }
    // The archive's triggers take what is kept beside each mail out with it; the trash has its copy.
    SQLite::Statement gone(db, "DELETE FROM tblKamoMail WHERE (" + where + ")");
    bind(gone);
    gone.exec();
    return move;
}

int64_t LastTrashBatch(SQLite::Database& db) {
    return db.execAndGet("SELECT ifnull(max(tblTrash_Batch), 0) FROM tblTrash").getInt64();
}

std::vector<MailKey> RestoreTrashBatch(SQLite::Database& db, int64_t batch) {
    const auto& twins = TrashTwins();
    std::vector<MailKey> keys;
    {
        SQLite::Statement q(db, "SELECT " + MailHeadColumns() +
                                    " FROM tblTrash WHERE tblTrash_Batch = ?1 ORDER BY tblKamoMail_YMD, "
                                    "tblKamoMail_HMS, tblKamoMail_SubKey");
        q.bind(1, batch);
        while (q.executeStep()) {
            std::string subject;
            keys.emplace_back();
            ReadMailHead(q, 0, keys.back(), subject);
        }
    }
    SQLite::Statement taken(db, "SELECT 1 FROM tblKamoMail WHERE " + MailKeyCondition("tblKamoMail"));
    SQLite::Statement nextSubKey(db, "SELECT ifnull(max(tblKamoMail_SubKey), -1) + 1 FROM tblKamoMail WHERE "
                                     "tblKamoMail_YMD = ?1 AND tblKamoMail_HMS = ?2 AND tblKamoMail_SndRcvFlag = ?5 "
                                     "AND tblKamoMail_SndAdd = ?3 AND tblKamoMail_RcvAdd = ?4");
    std::vector<SQLite::Statement> back;
    for (const auto& twin : twins)
        back.emplace_back(db, "INSERT INTO " + twin.kept->name + " (" + Columns(*twin.kept) + ") SELECT " +
                                  Columns(*twin.kept, "", "?7") + " FROM " + twin.trash->name +
                                  " WHERE tblTrash_Batch = ?8 AND " + MailKeyCondition(KeyPrefix(*twin.kept)));
    std::vector<MailKey> restored;
    for (const MailKey& key : keys) {
        MailKey now = key;
        taken.reset();
        BindMailKey(taken, 1, key);
        if (taken.executeStep()) {
            nextSubKey.reset();
            nextSubKey.bind(1, key.ymd);
            nextSubKey.bind(2, key.hms);
            nextSubKey.bind(3, key.sndAdd);
            nextSubKey.bind(4, key.rcvAdd);
            nextSubKey.bind(5, key.sent ? 1 : 0);
            nextSubKey.executeStep();
            now.subKey = nextSubKey.getColumn(0).getInt64();
        }
        taken.reset();
        for (auto& st : back) {
            st.reset();
            BindMailKey(st, 1, key);
            st.bind(7, now.subKey);
            st.bind(8, batch);
            st.exec();
        }
        restored.push_back(now);
    }
    for (const auto& twin : twins) {
        SQLite::Statement drop(db, "DELETE FROM " + twin.trash->name + " WHERE tblTrash_Batch = ?1");
        drop.bind(1, batch);
        drop.exec();
    }
    return restored;
}

int64_t TrashedMailCount(SQLite::Database& db) {
    return db.execAndGet("SELECT count(*) FROM tblTrash").getInt64();
}

int64_t EmptyTrash(SQLite::Database& db) {
    const int64_t mails = TrashedMailCount(db);
    for (const auto& twin : TrashTwins())
        db.exec("DELETE FROM " + twin.trash->name);
    return mails;
}

std::vector<TrashedMail> ListTrash(SQLite::Database& db) {
    std::vector<TrashedMail> mails;
    SQLite::Statement q(db, "SELECT tblTrash_Batch, tblTrash_Time, " + MailHeadColumns() +
                                " FROM tblTrash ORDER BY tblTrash_Batch DESC, tblKamoMail_YMD, tblKamoMail_HMS, "
                                "tblKamoMail_SubKey");
    while (q.executeStep()) {
        TrashedMail m;
        m.batch = q.getColumn(0).getInt64();
        m.time = q.getColumn(1).getString();
        ReadMailHead(q, 2, m.key, m.subject);
        mails.push_back(std::move(m));
    }
    return mails;
}

std::optional<MailRecord> ReadTrashedMail(SQLite::Database& db, int64_t batch, const MailKey& key) {
    SQLite::Statement q(db, "SELECT " + MailColumns() + " FROM tblTrash WHERE " + MailKeyCondition("tblKamoMail") +
                                " AND tblTrash_Batch = ?7");
    BindMailKey(q, 1, key);
    q.bind(7, batch);
    if (!q.executeStep())
        return std::nullopt;
    return ReadMailRow(q);
}

TrashLook::TrashLook(SQLite::Database& db)
    : any_(db, "SELECT 1 FROM tblTrash LIMIT 1"),
      candidates_(db, "SELECT tblTrash_Batch, tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey, "
                      "tblKamoMail_SndRcvFlag, tblKamoMail_SndAdd, tblKamoMail_RcvAdd FROM tblTrash WHERE "
                      "tblKamoMail_YMD = ?1 AND tblKamoMail_HMS = ?2 AND tblKamoMail_SndAdd = ?3 AND "
                      "tblKamoMail_RcvAdd = ?4 AND +tblKamoMail_Subject = ?5 AND " +
                          MailBodyColumns("", " = ? COLLATE BINARY", " AND ")),
      attachmentCount_(db, "SELECT count(*) FROM tblTrashAttachment WHERE " + MailKeyCondition("tblAttachment") +
                               " AND tblTrash_Batch = ?7"),
      sameAttachment_(db, "SELECT 1 FROM tblTrashAttachment WHERE " + MailKeyCondition("tblAttachment") +
                              " AND tblTrash_Batch = ?7 AND tblAttachment_No = ?8 AND tblAttachment_Name = ?9 "
                              "COLLATE BINARY AND (tblAttachment_Type = ?10 COLLATE BINARY OR tblAttachment_Type = "
                              "?11 COLLATE BINARY) AND tblAttachment_Data = ?12") {}

bool TrashLook::Holds(const MailRecord& mail, const BodyPieces& pieces,
                      const std::vector<const Attachment*>& attachments) {
    any_.reset();
    if (!any_.executeStep())
        return false;
    candidates_.reset();
    candidates_.bind(1, mail.ymd);
    candidates_.bind(2, mail.hms);
    candidates_.bind(3, mail.sndAdd);
    candidates_.bind(4, mail.rcvAdd);
    candidates_.bind(5, mail.subject);
    BindBody(candidates_, 6, pieces);
    bool found = false;
    while (!found && candidates_.executeStep()) {
        const int64_t batch = candidates_.getColumn(0).getInt64();
        MailKey key;
        key.ymd = candidates_.getColumn(1).getString();
        key.hms = candidates_.getColumn(2).getString();
        key.subKey = candidates_.getColumn(3).getInt64();
        key.sent = candidates_.getColumn(4).getInt() != 0;
        key.sndAdd = candidates_.getColumn(5).getString();
        key.rcvAdd = candidates_.getColumn(6).getString();
        attachmentCount_.reset();
        BindMailKey(attachmentCount_, 1, key);
        attachmentCount_.bind(7, batch);
        found = attachmentCount_.executeStep() &&
                attachmentCount_.getColumn(0).getInt64() == static_cast<int64_t>(attachments.size());
        attachmentCount_.reset();
        int64_t position = 0;
        for (const Attachment* a : attachments) {
            if (!found)
                break;
            sameAttachment_.reset();
            BindMailKey(sameAttachment_, 1, key);
            sameAttachment_.bind(7, batch);
            sameAttachment_.bind(8, ++position);
            sameAttachment_.bind(9, a->name);
            sameAttachment_.bind(10, a->contentType);
            sameAttachment_.bind(11, MediaTypeOf(a->contentType));
            sameAttachment_.bindNoCopy(12, static_cast<const void*>(a->bytes.data()),
                                       static_cast<int>(a->bytes.size()));
            found = sameAttachment_.executeStep();
            sameAttachment_.reset();
        }
    }
    candidates_.reset();
    return found;
}

} // namespace kamo
