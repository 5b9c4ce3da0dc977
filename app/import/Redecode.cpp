#include "import/Redecode.h"

#include <new>
#include <optional>
#include <string>
#include <vector>

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

void ShowCount(WaitReporter& wait, int64_t done, int64_t total) {
    wait.ShowCount(WaitCount::RedecodedMails, done, total);
    wait.SetProgress(done, total);
    wait.Pump();
}

// The mail's row made again from its packed original; nothing when the original does not unpack or
// decode, or the row is gone.
std::optional<MailKey> RewriteFromOriginal(MailStore& store, const PackedOriginal& p,
                                           OriginalDictionaries& dictionaries, Mail_StrChange_Fn strChange,
                                           const DecodeFn& decode) {
    auto original = UnpackOriginal(p.packed, &dictionaries);
    if (!original)
        return std::nullopt;
    auto decoded = DecodeReadMail(TmpMailOf(std::move(*original)), strChange, decode);
    if (!decoded)
        return std::nullopt;
    return store.Rewrite(p.key, decoded->record, decoded->attachments, decoded->headers, kDecodingVersion);
}

} // namespace

bool OriginalsBelowVersion(SQLite::Database& db) {
    return AnyOriginalBelow(db, kDecodingVersion);
}

int64_t MarkOriginalsForRedecoding(SQLite::Database& db) {
    if (AnyOriginalMarked(db, kRedecodeAsked))
        return 0;
    return MarkEveryOriginal(db, kRedecodeAsked);
}

RedecodeCounts RedecodeOriginals(SQLite::Database& db, Mail_StrChange_Fn strChange, WaitReporter& wait,
                                 const DecodeFn& decode) {
    RedecodeCounts counts;
    const int64_t all = CountOriginalsBelow(db, kDecodingVersion);
    if (all == 0)
        return counts;
    wait.ShowNote(WaitNote::RedecodingOriginals);
    ShowCount(wait, 0, all);

    OriginalBatchReader next(db, kDecodingVersion, kBatchRows, kBatchBytes);
    OriginalDictionaries dictionaries(db);
    int64_t done = 0;
    for (;;) {
        SQLite::Transaction transaction(db);
        std::vector<PackedOriginal> batch = next.Next();
        if (batch.empty())
            break;
        // Prepared per batch: the statements must not outlive the transaction's connection state.
        MailStore store(db);
        OriginalWriter originals(db);
        for (PackedOriginal& p : batch) {
            // One mail's work fails alone: a damaged original, or one more than memory allows now,
            // leaves that mail as it is and the run goes on.
            bool rewritten = false;
            try {
                SavepointGuard mail(db, "redecode_mail");
                if (auto key = RewriteFromOriginal(store, p, dictionaries, strChange, decode)) {
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
