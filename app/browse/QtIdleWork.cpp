#include "browse/QtIdleWork.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <optional>
#include <utility>

#include "browse/QtControlLock.h"
#include "browse/QtConversationLine.h"
#include "browse/QtMailBrowser.h"
#include "browse/QtMailboxWatch.h"
#include "common/ArchiveView.h"
#include "common/Guarded.h"
#include "common/Messages.h"
#include "common/Prompter.h"
#include "db/ArchiveSession.h"
#include "db/Compaction.h"
#include "import/MailRead.h"
#include "import/MailReadCommand.h"
#include "search/ConversationIndex.h"

namespace kamo {

QtIdleWork::QtIdleWork(ArchiveSession& session, Prompter& prompter, QtControlLock& lock, WaitReporter& progress,
                       QtMailBrowser& browser, ArchiveView& view, std::function<bool()> ready,
                       std::function<void(const QString&)> note, QObject* parent)
    : QObject(parent), session_(session), prompter_(prompter), lock_(lock), progress_(progress), browser_(browser),
      view_(view), ready_(std::move(ready)), note_(std::move(note)) {
    timer_ = new QTimer(parent);
    timer_->setObjectName("Timer1");
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, &QtIdleWork::Tick);
    timer_->start();
    indexPieces_ = new QTimer(this);
    indexPieces_->setObjectName("ConversationIndexPieces");
    indexPieces_->setInterval(0);
    connect(indexPieces_, &QTimer::timeout, this, &QtIdleWork::ConversationIndexPiece);
}

QtIdleWork::~QtIdleWork() = default;

void QtIdleWork::Stop() {
    timer_->stop();
    indexPieces_->stop();
    autoReadWatch_.reset();
}

void QtIdleWork::Tick() {
    // Timer1's slot, and the watch's below: a failure is told and the timer goes on.
    Guarded(prompter_, [this] {
        FinishUpkeepWhenIdle();
        AutoReadWhenIdle();
        MakeConversationIndexWhenIdle();
    });
}

bool QtIdleWork::MakingConversationIndex() const {
    return indexPieces_->isActive();
}

void QtIdleWork::MakeConversationIndexWhenIdle() {
    // A backup on display is read-only: its conversations are read whole.
    if (indexPieces_->isActive() || !Idle() || session_.ViewingBackup())
        return;
    try {
        if (ConversationIndexOwed(session_.Database()) > 0)
            indexPieces_->start();
    } catch (const std::exception&) {
        // The archive held by another program: asked again at the next idle second.
    }
}

void QtIdleWork::ConversationIndexPiece() {
    // A piece is about kIndexPieceMs (each commits, and a commit costs the disk's flush): the user's next key or click
    // waits no longer than that.
    constexpr qint64 kIndexPieceMs = 60;
    if (!Idle() || session_.ViewingBackup()) {
        indexPieces_->stop(); // the next idle second takes it up again
        return;
    }
    bool complete = false;
    try {
        QElapsedTimer took;
        took.start();
        complete = MakeConversationIndexPiece(session_.Database(), indexPieceRows_);
        const qint64 ms = took.elapsed();
        if (ms < kIndexPieceMs / 2)
            indexPieceRows_ = std::min<int64_t>(indexPieceRows_ * 2, 65536);
        else if (ms > kIndexPieceMs * 2)
            indexPieceRows_ = std::max<int64_t>(indexPieceRows_ / 2, 1024);
    } catch (const std::exception&) {
        // Another program holding the archive: tried again at the next idle second, without a word;
        // a look-up meanwhile reads the archive whole.
        indexPieces_->stop();
        return;
    }
    if (!complete)
        return;
    indexPieces_->stop();
    if (auto* line = parent()->findChild<QtConversationLine*>("QtConversationLine"); line && line->Waiting())
        Guarded(prompter_, [line] { line->Refresh(); });
}

bool QtIdleWork::Idle() const {
    return ready_() && !lock_.Locked() && !QApplication::activeModalWidget();
}

void QtIdleWork::ArmAutoRead() {
    const Settings& settings = session_.AppSettings();
    const ReadRequest request = MakeReadRequest(settings, session_.Folders(), false);
    std::vector<const MailboxInfo*> boxes;
    if (settings.autoRead)
        for (const auto& choice : request.mailboxes)
            boxes.push_back(choice.box);
    // The same folder and mailboxes: the watch goes on (a new one would read them all once more).
    if (autoReadWatch_ && boxes == autoReadBoxes_ && request.postPetDir == autoReadDir_)
        return;
    autoReadWatch_.reset();
    autoReadDue_.clear();
    autoReadBoxes_ = boxes;
    autoReadDir_ = request.postPetDir;
    if (boxes.empty())
        return;
    try {
        autoReadWatch_ = std::make_unique<QtMailboxWatch>(
            request.postPetDir, request.mailboxes, MailboxWatch::kDefaultSettle,
            [this](std::vector<MailboxChoice> due) {
                for (const auto& choice : due)
                    if (std::none_of(autoReadDue_.begin(), autoReadDue_.end(),
                                     [&](const MailboxChoice& c) { return c.box == choice.box; }))
                        autoReadDue_.push_back(choice);
                Guarded(prompter_, [this] { AutoReadWhenIdle(); });
            });
    } catch (const std::exception& e) {
        prompter_.Error(std::string("自動読み込みを始められませんでした。\n") + ErrorText(e), "自動読み込み");
    }
}

void QtIdleWork::AutoReadWhenIdle() {
    // Never inside another command (Timer1 asks again each second), nor on a backup on display.
    if (autoReadDue_.empty() || !Idle() || session_.ViewingBackup())
        return;
    ReadRequest request = MakeReadRequest(session_.AppSettings(), session_.Folders(), false);
    request.mailboxes = std::exchange(autoReadDue_, {});
    ReadSummary summary;
    try {
        // Beside the user: progress and 中止 in the status bar, no summary to close each time
        // PostPet writes, the summary only when something needs the user's eye.
        WaitScope busy(progress_);
        summary = ReadPostPetMail(session_, request, progress_);
    } catch (const std::exception& e) {
        summary.error.emplace(FailureCode::ReadBrokenOff, std::vector<std::string>{ErrorText(e)});
    }
    TellReadFailures(summary, prompter_);
    if (summary.error) {
        // Tried again after a back-off (another program may hold the archive): a note, no dialog
        // for each attempt.
        view_.ShowNewMail();
        const auto retry = autoReadWatch_ ? autoReadWatch_->ReadFailed(request.mailboxes) : std::chrono::milliseconds{};
        note_(QDateTime::currentDateTime().toString("hh:mm:ss ") +
              QString::fromStdString("自動読み込み: エラーが発生しました（" + MessageOf(*summary.error) + "）。" +
                                     RetryNote(retry)));
        return;
    }
    if (!summary.completed) {
        if (autoReadWatch_)
            autoReadWatch_->ReadFailed(request.mailboxes);
        return;
    }
    const std::string unfinished =
        autoReadWatch_ ? autoReadWatch_->SetAsideUnfinished(request.mailboxes, summary) : std::string();
    view_.ShowNewMail();
    const MailboxSummary totals = summary.Totals();
    std::string names;
    for (const auto& box : summary.mailboxes)
        names += (names.empty() ? "" : "、") + box.name;
    note_(QDateTime::currentDateTime().toString("hh:mm:ss ") +
          QString::fromStdString("自動読み込み " + names + ": " + std::to_string(totals.stored) + " 通を保存しました" +
                                 (unfinished.empty() ? "" : "（" + unfinished + "）")));
    if (summary.AnyFailed() || !summary.refreshed)
        prompter_.ShowTable(SummaryTable(summary), "自動読み込み");
}

void QtIdleWork::FinishUpkeepWhenIdle() {
    ArchiveUpkeep* upkeep = session_.Upkeep();
    if (!upkeep || !upkeep->Finished() || upkeepTold_ || !Idle())
        return;
    const ArchiveUpkeep::Outcome outcome = upkeep->Result();
    if (outcome == ArchiveUpkeep::Outcome::Broken) {
        upkeepTold_ = true;
        const std::optional<Failure> problem = upkeep->Problem();
        prompter_.Error("アーカイブの検査で問題が見つかりました（" + (problem ? MessageOf(*problem) : std::string()) +
                        "）。\nバックアップ (.Bak) は前のままです。KamoMail をもう一度起動すると、"
                        "元に戻すかどうかを尋ねます。");
        return;
    }
    if (outcome != ArchiveUpkeep::Outcome::CopyReady)
        return;
    // The compacted copy goes in place while nothing runs: the lists let go of the archive and come
    // back where the user was. A backup on display keeps its own connection.
    Guarded(prompter_, [this] {
        const bool viewing = session_.ViewingBackup();
        const QtMailBrowser::Place place = browser_.CurrentPlace();
        if (!viewing)
            view_.LetGoOfArchive();
        session_.FinishUpkeep();
        if (!viewing) {
            view_.ShowViewMode();
            browser_.RestorePlace(place);
        }
    });
}

} // namespace kamo
