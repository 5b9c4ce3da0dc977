#pragma once
// One running copy per user: an exclusive flock on a lock file in the settings folder. The kernel
// drops the lock when its holder ends, however it ends, so a crashed run never blocks the next.
#include <filesystem>
#include <memory>

namespace kamo {

class InstanceLock {
public:
    // Takes the lock; nothing when another process holds it or the lock file cannot be opened.
    static std::unique_ptr<InstanceLock> TryAcquire(const std::filesystem::path& settingsDir);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    static constexpr const char* kFileName = "KamoMail.lock";

private:
    explicit InstanceLock(int fd) : fd_(fd) {}
    int fd_;
};

} // namespace kamo
