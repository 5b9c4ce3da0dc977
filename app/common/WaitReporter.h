#pragma once
// Long work (reading mail, running filters, deleting, backups) reports through a WaitReporter: the
// phase it is in, what it counts and how far, and notes beside them, all as codes the catalogue
// (common/MessagesWait.h) words as up to six lines. The window's implementation shows the wait
// window and keeps the event loop running; tests and the command line use others.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "common/MessagesWait.h"

namespace kamo {

class WaitReporter {
public:
    static constexpr int kLines = kWaitLines;
    virtual ~WaitReporter() = default;
    // Sets one of the six worded lines (0..5). Work reports through the Show functions below, which
    // the catalogue words; implementations show the lines.
    virtual void SetLine(int index, const std::string& text) = 0;
    void SetLines(const WaitLines& lines) {
        for (int i = 0; i < kLines; ++i)
            SetLine(i, lines[static_cast<size_t>(i)]);
    }
    // The phase the work is in; `detail` where the phase names one (an export's format).
    void ShowPhase(WaitPhase phase, const std::string& detail = {}) { SetLines(WaitLinesOf(phase, detail)); }
    // A phase of one piece of work without a count yet: its lines and a busy bar.
    void ShowBusy(WaitPhase phase) {
        ShowPhase(phase);
        SetProgress(0, 0);
        Pump();
    }
    // How far the work is: the count's words. The bar is set apart by SetProgress.
    void ShowCount(WaitCount what, int64_t done, std::optional<int64_t> total) {
        for (const auto& [index, text] : WaitCountLines(what, done, total))
            SetLine(index, text);
    }
    void ShowNote(WaitNote note, const std::string& detail = {}) {
        const auto [index, text] = WaitNoteLine(note, detail);
        SetLine(index, text);
    }
    // Clears the count and the notes, when a part of the work is done.
    void ClearNotes() {
        for (const int index : WaitCountAndNoteIndexes())
            SetLine(index, "");
    }
    // done of total; total 0 means unknown.
    virtual void SetProgress(int64_t done, int64_t total) = 0;
    // Lets pending window events run. Cheap to call per record: implementations throttle.
    virtual void Pump() = 0;
    // Long work runs between Begin and End (nested pairs count): the window shows its wait window
    // and locks its controls meanwhile. Use WaitScope rather than calling these by hand.
    virtual void Begin() {}
    virtual void End() {}
    // Work that can stop at a safe point offers the user a way to ask for it (the wait window's
    // 中止) and asks here at each such point. The offer ends with the work's End.
    virtual void OfferCancel() {}
    // The same for work whose stop throws away what it has done so far: a stop the user did not ask
    // for by the button (Esc) first asks `question`.
    virtual void OfferCancelAsking(const std::string& /*question*/) { OfferCancel(); }
    virtual bool CancelRequested() const { return false; }
};

// Holds a reporter's Begin/End around a block of work; End also runs when the work throws.
class WaitScope {
public:
    explicit WaitScope(WaitReporter& wait) : wait_(wait) { wait_.Begin(); }
    ~WaitScope() { wait_.End(); }
    WaitScope(const WaitScope&) = delete;
    WaitScope& operator=(const WaitScope&) = delete;
    WaitReporter& Wait() { return wait_; }

private:
    WaitReporter& wait_;
};

class NullWaitReporter : public WaitReporter {
public:
    void SetLine(int, const std::string&) override {}
    void SetProgress(int64_t, int64_t) override {}
    void Pump() override {}
};

} // namespace kamo
