#include "import/MailRead.h"
#include "import/PostPetFinder.h"

#include <SQLiteCpp/Transaction.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <system_error>
#include <unistd.h>
#include <utility>

#include "common/AsciiText.h"
#include "common/Messages.h"
#include "common/MessagesRead.h"
#include "common/NumberText.h"
#include "db/ArchiveSession.h"
#include "db/PieceTransaction.h"
#include "db/Schema.h"
#include "filters/FilterMatch.h"
#include "import/DecodeAhead.h"
#include "import/FramedReader.h"
#include "import/MailDecode.h"
#include "import/MailStore.h"
#include "import/Redecode.h"
#include "search/ConversationIndex.h"
#include "upkeep/TableRegistry.h"

namespace kamo {
namespace {

// The running count is shown every this many mails (and at the end of each mailbox).
constexpr int64_t kProgressStep = 64;

// What the library's result code says the user must be told, if anything.
std::optional<FailureCode> CodeFailure(int32_t code) {
    switch (code) {
    case -1:
        return FailureCode::MailTmpNotMade;
    case -2:
        return FailureCode::MailFileNotOpened;
    case -4:
    case -5:
        return FailureCode::MailboxShortOfMemory;
    default:
        return std::nullopt;
    }
}

void ShowCount(WaitReporter& wait, int64_t done, int64_t total) {
    wait.ShowCount(WaitCount::Data, done, total);
    wait.SetProgress(done, total);
}

enum class FileState { Absent, Readable, Unreadable };

// A list file that is a folder, a FIFO or a device, or that cannot be opened, is an error of its
// own: it must neither block the read nor pass for an empty mailbox.
FileState StateOf(const std::string& mailbox, const std::filesystem::path& file, std::optional<Failure>& why) {
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (!std::filesystem::exists(status))
        return FileState::Absent;
    if (!std::filesystem::is_regular_file(status)) {
        why.emplace(std::filesystem::is_directory(status) ? FailureCode::ListFileIsFolder
                                                          : FailureCode::ListFileNotRegular,
                    std::vector<std::string>{mailbox, file.string()});
        return FileState::Unreadable;
    }
    if (::access(file.c_str(), R_OK) != 0) {
        why.emplace(FailureCode::ListFileUnreadable,
                    std::vector<std::string>{mailbox, std::strerror(errno), file.string()});
        return FileState::Unreadable;
    }
    return FileState::Readable;
}

// A mailbox that cannot be read (or only in part): named in its summary and told.
void Fail(MailboxSummary& box, ReadSummary& summary, Failure failure) {
    summary.failures.push_back(failure);
    box.problem = std::move(failure);
}

void ReadMailbox(SQLite::Database& db, MailStore& store, KamoLibrary& library, const ReadRequest& request,
                 const MailboxChoice& choice, const ReadHooks& hooks, ReadSummary& summary, WaitReporter& wait,
                 MailboxSummary& box, OriginalPacker* packer) {
    const MailboxFiles files = LocateMailbox(request.postPetDir, *choice.box);
    std::optional<Failure> why;
    switch (StateOf(box.name, files.list, why)) {
    case FileState::Absent:
        // A drawer never used has neither file; a mail file alone means mail that cannot be read.
        if (std::error_code ec; std::filesystem::exists(files.mail, ec))
            Fail(box, summary, Failure(FailureCode::ListFileMissing, {box.name, files.list.string()}));
        box.code = KAMOMAIL_NOTHING;
        return;
    case FileState::Unreadable:
        Fail(box, summary, *why);
        return;
    case FileState::Readable:
        break;
    }

    std::error_code ec;
    // A failed call can leave the previous mailbox's file behind; it must never be read twice.
    std::filesystem::remove(request.tmpPath, ec);
    int32_t count = 0;
    int32_t code = 0;
    library.MailEditFramed()(files.list.c_str(), files.mail.c_str(), request.tmpPath.c_str(), &count, &code);
    box.code = code;
    box.listed = count;
    // Told, not named as the mailbox's problem: its summary shows the code.
    if (const auto failure = CodeFailure(code))
        summary.failures.emplace_back(*failure, std::vector<std::string>{box.name});
    if (code == -1 || code == -2 || code == KAMOMAIL_NOTHING)
        return;

    wait.ShowNote(WaitNote::Mailbox, choice.box->name);
    ShowCount(wait, 0, count);
    FramedReader reader(request.tmpPath);
    if (!reader.IsOpen()) {
        Fail(box, summary, Failure(FailureCode::MailTmpUnreadable, {box.name, request.tmpPath.string()}));
        return;
    }
    SQLite::Transaction transaction(db);
    DecodeAhead decoding(reader, library.StrChange(), hooks.decode, hooks.keepOriginals, packer);
    KeptOriginal kept{{}, choice.box->name};
    DecodedEntry next;
    int64_t entries = 0;
    while (decoding.Next(next)) {
        ++entries;
        const FramedEntry& entry = next.entry;
        if (entry.damaged) {
            ++box.damaged;
            box.damagedAt.push_back(entry.position);
            continue;
        }
        ++box.read;
        DecodedMail& decoded = next.decoded;
        if (!decoded.whole)
            ++box.undecoded;
        MailRecord& mail = decoded.record;
        mail.sent = IsSentMail(choice, mail, request.myMailAddr);
        // A mail read as text after its decoding failed never takes the place of a fuller reading.
        const auto earlier = [&]() -> std::vector<DecodedMail> {
            if (!decoded.whole)
                return {};
            try {
                return EarlierReadings(entry.mail, library.StrChange());
            } catch (const std::exception&) { // (out of memory in a hostile mail) stored as found
                return {};
            }
        };
        kept.packed = std::move(next.packed);
        if (hooks.excludes && hooks.excludes(mail))
            ++box.filtered;
        else
            switch (store.Store(mail, decoded.attachments, earlier, decoded.headers,
                                hooks.keepOriginals ? &kept : nullptr)) {
            case MailStore::Outcome::StoredCut:
                ++box.cut;
                [[fallthrough]];
            case MailStore::Outcome::Stored:
                ++box.stored;
                break;
            case MailStore::Outcome::AlreadyStored:
                ++box.alreadyStored;
                break;
            case MailStore::Outcome::Updated:
                ++box.alreadyStored;
                ++box.updated;
                break;
            case MailStore::Outcome::InTrash:
                ++box.trashed;
                break;
            }
        wait.Pump();
        if (entries % kProgressStep == 0) {
            ShowCount(wait, entries, std::max<int64_t>(count, entries));
            // 中止 takes effect here, between two mails: what was read so far is stored whole. A
            // large mailbox is not read to its end first.
            if (wait.CancelRequested()) {
                box.stopped = true;
                break;
            }
        }
    }
    transaction.commit();
    ShowCount(wait, entries, std::max<int64_t>(count, entries));
    if (box.stopped)
        return;
    if (reader.Broken() || entries < count) {
        // The converted file broke off: what it held is stored, the rest is counted as damage.
        box.damaged += std::max<int64_t>(1, count - entries);
        // Named in the summary, not told on its own: the summary counts the damage.
        box.problem.emplace(FailureCode::MailTmpCut, std::vector<std::string>{box.name});
    }
}

} // namespace

bool IsSentMail(const MailboxChoice& choice, const MailRecord& mail, const std::string& myMailAddr) {
    switch (choice.box->kind) {
    case MailboxKind::Inbox:
        return false;
    case MailboxKind::Outbox:
        return true;
    case MailboxKind::Drawer:
        break;
    }
    if (!myMailAddr.empty())
        return EqualsNoCase(mail.sndAdd, myMailAddr);
    return choice.send && !choice.recieve;
}

MailboxSummary ReadSummary::Totals() const {
    MailboxSummary t;
    t.name = Say(ReadText::Totals);
    for (const auto& b : mailboxes) {
        t.listed += b.listed;
        t.read += b.read;
        t.stored += b.stored;
        t.alreadyStored += b.alreadyStored;
        t.filtered += b.filtered;
        t.damaged += b.damaged;
        t.cut += b.cut;
        t.updated += b.updated;
        t.undecoded += b.undecoded;
        t.trashed += b.trashed;
    }
    return t;
}

bool ReadSummary::AnyFailed() const {
    for (const auto& b : mailboxes)
        if (b.Failed())
            return true;
    return false;
}

int ReadExitStatus(const ReadSummary& summary) {
    if (!summary.completed || !summary.refreshed)
        return 1;
    return summary.AnyFailed() ? kExitMailboxProblem : 0;
}

namespace {

// Every chosen mailbox, then the refresh; an error (the archive's) propagates.
void ReadChosenMailboxes(SQLite::Database& db, KamoLibrary& library, const ReadRequest& request, const ReadHooks& hooks,
                         WaitReporter& wait, ReadSummary& summary) {
    wait.ShowPhase(WaitPhase::ReadingPostPet);
    wait.Pump();
    // Mail an older decoding read from its original is brought up to date first, so that this read
    // finds it as this decoding reads it.
    if (OriginalsBelowVersion(db)) {
        RedecodeOriginals(db, library.StrChange(), wait, hooks.decode);
        wait.ClearNotes();
    }
    // A first read's search index is made beside it (with the refresh only: without one, no index
    // is made either).
    std::unique_ptr<SearchIndexBeside> beside;
    if (hooks.refresh)
        beside = SearchIndexBeside::Begin(db);
    // A first read fills the mail's tables from empty: their indexes and counts are made once it has
    // stored, and (with the refresh) the conversation index of no mail is laid down from every mail
    // at its end.
    const bool fromEmpty =
        hooks.refresh && db.execAndGet("SELECT NOT EXISTS (SELECT 1 FROM tblKamoMail)").getInt() != 0;
    if (fromEmpty)
        DropConversationIndex(db);
    MadeAfterFill afterFill(db);
    {
        const BulkWriteSettings bulk(db);
        std::optional<MailStore> store(std::in_place, db); // statements prepared once for the whole read
        store->IndexBeside(beside.get());
        // One for the whole read: the dictionary it trains serves its later mailboxes.
        std::optional<OriginalPacker> packer;
        if (hooks.keepOriginals)
            packer.emplace(db, hooks.dictionarySample);
        wait.OfferCancel();
        for (const auto& choice : request.mailboxes) {
            MailboxSummary box;
            box.name = choice.box->name;
            try {
                ReadMailbox(db, *store, library, request, choice, hooks, summary, wait, box,
                            packer ? &*packer : nullptr);
            } catch (const std::bad_alloc&) {
                // The memory ran out reading this mailbox (its converted file, a mail too large): its
                // transaction is rolled back, so none of its mail is kept and none is counted; the
                // other mailboxes are read. The statements start afresh.
                MailboxSummary failed;
                failed.name = box.name;
                failed.code = box.code;
                failed.listed = box.listed;
                box = failed;
                Fail(box, summary, Failure(FailureCode::MailboxOutOfMemory, {box.name}));
                std::error_code removeError;
                std::filesystem::remove(request.tmpPath, removeError);
                // The rows taken by the mailboxes before stay theirs.
                MailStore::Claims claims = store->TakeClaims();
                store.reset();
                store.emplace(db, std::move(claims));
                // The rows handed over for the rolled-back mail are no mail now: the refresh makes the index.
                beside.reset();
            }
            summary.mailboxes.push_back(box);
            // Stopped inside the mailbox (what was read of it is stored), or asked for at its end.
            if (box.stopped || (wait.CancelRequested() && &choice != &request.mailboxes.back())) {
                summary.stoppedAfter = box.name;
                break;
            }
        }
    }
    if (beside)
        beside->StoreEnded();
    wait.ShowPhase(WaitPhase::UpdatingData);
    wait.SetProgress(0, 0);
    wait.Pump();
    // While the index beside folds the last mail it was handed, this connection makes what it can:
    // the indexes and month counts of the tables the read filled, and (a first read's) the
    // conversations of its mail, which the refresh would make after the search index.
    afterFill.Make([&wait] { wait.Pump(); });
    if (beside || fromEmpty) {
        try {
            UpdateConversationIndex(db, wait);
        } catch (const SQLite::Exception&) {
            // As in the refresh: the queue keeps what is left for the next conversation.
        }
    }
    if (beside) {
        beside->Finish(wait); // when it could not, the refresh makes the index from the mail
        beside.reset();
    }
    if (hooks.refresh && !hooks.refresh(wait)) {
        summary.refreshed = false;
        summary.failures.emplace_back(FailureCode::ReadRefreshFailed);
    }
    summary.completed = true;
}

} // namespace

ReadSummary ReadPostPetMail(SQLite::Database& db, KamoLibrary& library, const ReadRequest& request,
                            const ReadHooks& hooks, WaitReporter& wait) {
    ReadSummary summary;
    if (!library.Load()) {
        summary.failures.push_back(*library.Problem());
        return summary;
    }
    // The folder first: with no folder there is nothing to choose mailboxes from.
    std::error_code ec;
    if (request.postPetDir.empty() || !std::filesystem::is_directory(request.postPetDir, ec)) {
        summary.failures.emplace_back(FailureCode::PostPetFolderMissing,
                                      std::vector<std::string>{request.postPetDir.string()});
        return summary;
    }
    if (!HoldsAnyMailbox(request.postPetDir)) {
        summary.failures.emplace_back(FailureCode::PostPetFolderEmpty,
                                      std::vector<std::string>{request.postPetDir.string()});
        return summary;
    }
    if (request.mailboxes.empty()) {
        summary.failures.emplace_back(FailureCode::NoMailboxChosen);
        return summary;
    }
    try {
        ReadChosenMailboxes(db, library, request, hooks, wait, summary);
    } catch (const Failure& failure) {
        summary.error = failure;
    } catch (const std::exception& e) {
        summary.error.emplace(FailureCode::ReadBrokenOff, std::vector<std::string>{ErrorText(e)});
    }
    return summary;
}

ReadRequest MakeReadRequest(const Settings& settings, const AppFolders& folders, bool all,
                            const std::string& postPetDir) {
    ReadRequest request;
    request.postPetDir = ResolvePostPetDir(postPetDir.empty() ? settings.postPetDir : postPetDir);
    request.tmpPath = folders.dataDir / kMailTextName;
    request.mailboxes = ChooseMailboxes(settings.sendReadOptions, settings.recievReadOptions, all);
    request.myMailAddr = settings.myMailAddr;
    return request;
}

ReadHooks StandardReadHooks(SQLite::Database& db, const FilterTables& tables) {
    ReadHooks hooks;
    auto matcher = std::make_shared<ReadFilterMatcher>(tables);
    if (!matcher->Empty())
        hooks.excludes = [matcher](const MailRecord& mail) { return matcher->Excludes(mail); };
    hooks.refresh = [&db, &tables](WaitReporter& wait) { return RefreshDerivedData(db, tables, wait); };
    return hooks;
}

ReadSummary ReadPostPetMail(ArchiveSession& session, const ReadRequest& request, WaitReporter& wait) {
    return ReadPostPetMail(session.Database(), ProgramLibrary(session.Folders().libraryPath), request,
                           StandardReadHooks(session.Database(), session.Filters()), wait);
}

std::string SummaryHeadline(const ReadSummary& summary) {
    if (!summary.stoppedAfter.empty())
        return Say(ReadText::HeadlineStopped);
    if (!summary.refreshed)
        return MessageOf(Failure(FailureCode::ReadRefreshFailed));
    if (summary.AnyFailed())
        return Say(ReadText::HeadlineProblems);
    return Say(ReadText::HeadlineRead);
}

namespace {

// `item` after the items in `list`, in the words of `join`.
void Append(std::string& list, const std::string& item, ReadText join = ReadText::ListJoin) {
    list = list.empty() ? item : Say(join, {list, item});
}

// The first `shown` damaged positions of a mailbox, in the words of `join`.
std::string Positions(const MailboxSummary& box, size_t shown, ReadText join) {
    std::string positions;
    for (size_t i = 0; i < std::min(shown, box.damagedAt.size()); ++i)
        Append(positions, std::to_string(box.damagedAt[i]), join);
    return positions;
}

// The note of a mailbox's row: why it could not be read, where it was damaged, what was set apart.
std::string RowNote(const MailboxSummary& b) {
    constexpr size_t kNotedPositions = 5;
    std::string note;
    if (b.problem)
        note = NoteOf(*b.problem);
    else if (b.code < 0)
        note = Say(ReadText::NoteErrorCode, {std::to_string(b.code)});
    if (!b.damagedAt.empty())
        Append(note, Say(b.damagedAt.size() > kNotedPositions ? ReadText::NoteDamagedAtMore : ReadText::NoteDamagedAt,
                         {Positions(b, kNotedPositions, ReadText::NotePositionJoin)}));
    if (b.cut > 0)
        Append(note, Say(ReadText::NoteCut, {WithSeparators(b.cut)}));
    if (b.trashed > 0)
        Append(note, Say(ReadText::NoteTrashed, {WithSeparators(b.trashed)}));
    if (b.undecoded > 0)
        Append(note, Say(ReadText::NoteUndecoded, {WithSeparators(b.undecoded)}));
    return note;
}

// Where the read stopped, for the totals row.
std::string StopNote(const ReadSummary& summary) {
    const MailboxSummary& last = summary.mailboxes.back();
    if (last.stopped)
        return Say(ReadText::NoteStoppedInside, {last.name, WithSeparators(last.read + last.damaged)});
    return Say(ReadText::NoteStoppedAfter, {summary.stoppedAfter});
}

// One line of the summary as text: the counts, then what applies to the mailbox.
std::string SummaryLine(const MailboxSummary& b, bool total) {
    constexpr size_t kListedPositions = 10;
    std::string text = Say(ReadText::LineCounts,
                           {b.name, WithSeparators(b.read), WithSeparators(b.stored), WithSeparators(b.alreadyStored),
                            WithSeparators(b.filtered), WithSeparators(b.damaged)});
    if (b.cut > 0)
        text += Say(ReadText::LineCut, {WithSeparators(b.cut)});
    if (b.updated > 0)
        text += Say(ReadText::LineUpdated, {WithSeparators(b.updated)});
    if (b.trashed > 0)
        text += Say(ReadText::LineTrashed, {WithSeparators(b.trashed)});
    if (b.undecoded > 0)
        text += Say(ReadText::LineUndecoded, {WithSeparators(b.undecoded)});
    if (total)
        return text;
    if (!b.damagedAt.empty()) {
        const std::string positions = Positions(b, kListedPositions, ReadText::LinePositionJoin);
        if (b.damagedAt.size() > kListedPositions)
            text +=
                Say(ReadText::LineDamagedAtMore, {positions, std::to_string(b.damagedAt.size() - kListedPositions)});
        else
            text += Say(ReadText::LineDamagedAt, {positions});
    }
    if (b.problem)
        text += Say(ReadText::InParentheses, {NoteOf(*b.problem)});
    if (b.code < 0)
        text += Say(ReadText::LineErrorCode, {std::to_string(b.code)});
    return text;
}

} // namespace

Prompter::Table SummaryTable(const ReadSummary& summary) {
    Prompter::Table table;
    table.headline = SummaryHeadline(summary);
    for (ReadText column :
         {ReadText::ColumnMailbox, ReadText::ColumnRead, ReadText::ColumnStored, ReadText::ColumnAlreadyStored,
          ReadText::ColumnFiltered, ReadText::ColumnDamaged, ReadText::ColumnNote})
        table.columns.push_back(Say(column));
    auto row = [&](const MailboxSummary& b, const std::string& note) {
        table.rows.push_back({b.name, WithSeparators(b.read), WithSeparators(b.stored), WithSeparators(b.alreadyStored),
                              WithSeparators(b.filtered), WithSeparators(b.damaged), note});
    };
    for (const auto& b : summary.mailboxes)
        row(b, RowNote(b));
    row(summary.Totals(), summary.stoppedAfter.empty() ? std::string() : StopNote(summary));
    table.asText = table.headline + "\n" + FormatSummary(summary);
    table.problem = ReadExitStatus(summary) != 0;
    return table;
}

std::string FormatSummary(const ReadSummary& summary) {
    std::string text;
    for (const auto& b : summary.mailboxes)
        text += SummaryLine(b, false) + "\n";
    text += SummaryLine(summary.Totals(), true) + "\n";
    if (!summary.stoppedAfter.empty() && summary.mailboxes.back().stopped) {
        const MailboxSummary& box = summary.mailboxes.back();
        text +=
            Say(ReadText::LineStoppedInside, {box.name, WithSeparators(box.read + box.damaged),
                                              WithSeparators(std::max<int64_t>(box.listed, box.read + box.damaged))}) +
            "\n";
    } else if (!summary.stoppedAfter.empty()) {
        text += Say(ReadText::LineStoppedAfter, {summary.stoppedAfter}) + "\n";
    }
    return text;
}

} // namespace kamo
