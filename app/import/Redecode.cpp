#include "import/Redecode.h"

#include <new>
#include <optional>
#include <string>
#include <vector>

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include "common/NumberText.h"
#include "db/MailOriginals.h"
#include "db/PieceTransaction.h"
#include "import/FramedReader.h"
#include "import/MailStore.h"

namespace kamo {
namespace {

// A transaction holds at most so many rows or so many packed bytes: a kill loses at most one
// batch's work, which the next run does again.
constexpr int kBatchRows = 256;
constexpr size_t kBatchBytes = size_t{16} << 20;

// The mark of an original a run of --redecode asked for; below every decoding version.
constexpr int64_t kRedecodeAsked = -1;

struct Pending {
    MailKey key;
    std::string packed;
};

void ShowCount(WaitReporter& wait, int64_t done, int64_t total) {
    wait.SetLine(3, WithSeparators(done) + " / " + WithSeparators(total) + "  のメールを読み直しています。");
    wait.SetProgress(done, total);
    wait.Pump();
}

// The mail's row made again from its packed original; nothing when the original does not unpack or
// decode, or the row is gone.
std::optional<MailKey> RewriteFromOriginal(MailStore& store, const Pending& p, Mail_StrChange_Fn strChange,
                                           const DecodeFn& decode) {
    auto original = UnpackOriginal(p.packed);
    if (!original)
        return std::nullopt;
    auto decoded = DecodeReadMail(TmpMailOf(std::move(*original)), strChange, decode);
    if (!decoded)
        return std::nullopt;
    return store.Rewrite(p.key, decoded->record, decoded->attachments, decoded->headers, kDecodingVersion);
}

} // namespace

bool OriginalsBelowVersion(SQLite::Database& db) {
    SQLite::Statement q(db, "SELECT 1 FROM tblOriginal WHERE tblOriginal_Decoding < ?1 LIMIT 1");
    q.bind(1, kDecodingVersion);
    return q.executeStep();
}

int64_t MarkOriginalsForRedecoding(SQLite::Database& db) {
    SQLite::Statement left(db, "SELECT 1 FROM tblOriginal WHERE tblOriginal_Decoding = ?1 LIMIT 1");
    left.bind(1, kRedecodeAsked);
    if (left.executeStep())
        return 0;
    SQLite::Statement mark(db, "UPDATE tblOriginal SET tblOriginal_Decoding = ?1");
    mark.bind(1, kRedecodeAsked);
    return mark.exec();
}

RedecodeCounts RedecodeOriginals(SQLite::Database& db, Mail_StrChange_Fn strChange, WaitReporter& wait,
                                 const DecodeFn& decode) {
    RedecodeCounts counts;
    SQLite::Statement total(db, "SELECT COUNT(*) FROM tblOriginal WHERE tblOriginal_Decoding < ?1");
    total.bind(1, kDecodingVersion);
    total.executeStep();
    const int64_t all = total.getColumn(0).getInt64();
    total.reset();
    if (all == 0)
        return counts;
    wait.SetLine(4, "保存したメールを元のメールから読み直しています。");
    ShowCount(wait, 0, all);

    SQLite::Statement next(db, "SELECT tblOriginal_YMD, tblOriginal_HMS, tblOriginal_SubKey, tblOriginal_SndRcvFlag, "
                               "tblOriginal_SndAdd, tblOriginal_RcvAdd, tblOriginal_Data FROM tblOriginal "
                               "WHERE tblOriginal_Decoding < ?1 LIMIT ?2");
    int64_t done = 0;
    for (;;) {
        SQLite::Transaction transaction(db);
        std::vector<Pending> batch;
        size_t bytes = 0;
        next.reset();
        next.bind(1, kDecodingVersion);
        next.bind(2, kBatchRows);
        while (bytes < kBatchBytes && next.executeStep()) {
            Pending p;
            p.key.ymd = next.getColumn(0).getString();
            p.key.hms = next.getColumn(1).getString();
            p.key.subKey = next.getColumn(2).getInt64();
            p.key.sent = next.getColumn(3).getInt() != 0;
            p.key.sndAdd = next.getColumn(4).getString();
            p.key.rcvAdd = next.getColumn(5).getString();
            const SQLite::Column data = next.getColumn(6);
            p.packed.assign(static_cast<const char*>(data.getBlob()), static_cast<size_t>(data.getBytes()));
            bytes += p.packed.size();
            batch.push_back(std::move(p));
        }
        next.reset();
        if (batch.empty())
            break;
        // Prepared per batch: the statements must not outlive the transaction's connection state.
        MailStore store(db);
        OriginalWriter originals(db);
        for (Pending& p : batch) {
            // One mail's work fails alone: a damaged original, or one more than memory allows now,
            // leaves that mail as it is and the run goes on.
            bool rewritten = false;
            try {
                SavepointGuard mail(db, "redecode_mail");
                if (auto key = RewriteFromOriginal(store, p, strChange, decode)) {
                    mail.Release();
                    rewritten = true;
                    ++counts.rewritten;
                    if (key->ymd != p.key.ymd || key->hms != p.key.hms || key->subKey != p.key.subKey ||
                        key->sndAdd != p.key.sndAdd || key->rcvAdd != p.key.rcvAdd)
                        ++counts.rekeyed;
                }
            } catch (const std::bad_alloc&) {
            }
            if (!rewritten) {
                // Left as it is, and not tried again by every later run.
                ++counts.unreadable;
                originals.SetDecoding(p.key, kDecodingVersion);
            }
            p.packed = std::string(); // its memory back before the next mail
            ++done;
        }
        transaction.commit();
        ShowCount(wait, done, std::max(all, done));
    }
    return counts;
}

} // namespace kamo
