#pragma once
// One running copy per user: an exclusive flock on a lock file in the settings folder. The kernel
// drops the lock when its holder ends, however it ends, so a crashed run never blocks the next.
#include <filesystem>
#include <memory>
#include <string>

namespace kamo {

class InstanceLock {
public:
    // Takes the lock; nothing when another process holds it or the lock file cannot be opened (then
    // `openError`, when given, says why; it stays empty when another process holds the lock).
    static std::unique_ptr<InstanceLock> TryAcquire(const std::filesystem::path& settingsDir,
                                                    std::string* openError = nullptr);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    static constexpr const char* kFileName = "KamoMail.lock";

private:
    explicit InstanceLock(int fd) : fd_(fd) {}
    int fd_;
};

} // namespace kamo
