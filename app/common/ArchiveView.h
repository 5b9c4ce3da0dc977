#pragma once
// What a command tells the view after it changed the archive. The main window implements it; the
// command line and tests use a stand-in. Commands never see the window itself.
namespace kamo {

class ArchiveView {
public:
    virtual ~ArchiveView() = default;
    // Shows the current view mode again from the archive: the key list refilled, the subject list
    // and the mail display cleared.
    virtual void ShowViewMode() = 0;
    // Mail was added beside the user (a read): the lists take it in where they are, keeping what the
    // user chose, typed and was in. By default the view is shown anew.
    virtual void ShowNewMail() { ShowViewMode(); }
    // The archive connection is about to close or change (recreation, backup view): drop every
    // statement on it. ShowViewMode follows.
    virtual void LetGoOfArchive() {}
};

// No view to refresh (command line).
class NoArchiveView : public ArchiveView {
public:
    void ShowViewMode() override {}
};

} // namespace kamo
