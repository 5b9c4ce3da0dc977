#pragma once
// Decoding stored mail again from the originals kept beside it (db/MailOriginals.h), in place: each
// row whose original an older decoding read (or every row, when asked) gets what the current
// decoding reads from the same bytes, with its attachments and header fields. A row is never
// duplicated nor merged into another mail (MailStore::Rewrite). Mails without an original are left
// to the read's earlier-reading rule.
#include <cstdint>

#include <SQLiteCpp/Database.h>

#include "common/WaitReporter.h"
#include "import/DecodeAhead.h"
#include "kamomail.h"

namespace kamo {

struct RedecodeCounts {
    int64_t rewritten = 0;  // rows brought to the current decoding
    int64_t rekeyed = 0;    // of them, rows the new reading gave another key
    int64_t unreadable = 0; // originals that did not unpack or decode, or whose row is gone: left as they were
};

// Whether any kept original was read by a decoding older than kDecodingVersion.
bool OriginalsBelowVersion(SQLite::Database& db);

// Marks every kept original for RedecodeOriginals, so that it rewrites every mail that has one; the
// number marked. When a run so asked was killed before its end (marks are left), nothing is marked
// anew: that run goes on where it stopped.
int64_t MarkOriginalsForRedecoding(SQLite::Database& db);

// Rewrites every row whose original is below kDecodingVersion from that original, in transactions of
// a bounded number of rows, each row marked with the version in the transaction that rewrites it: a
// run that is killed loses nothing, and the next one goes on where it stopped. Progress goes to
// `wait`'s lines 3 and 4 and its bar. `decode` as in ReadHooks (empty: the read's decoding). The
// derived data is the caller's to refresh.
RedecodeCounts RedecodeOriginals(SQLite::Database& db, Mail_StrChange_Fn strChange, WaitReporter& wait,
                                 const DecodeFn& decode = {});

} // namespace kamo
