// One running copy per user: a lock file named after the product identifier, held for the life of
// the running copy.
#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

namespace pixhaven::platform {
class ExclusiveFileLock;
}

namespace pixhaven::app {

// The user's runtime folder (XDG_RUNTIME_DIR when it is an absolute path), else the temporary
// folder, + the identifier + ".lock".
std::filesystem::path InstanceLockFile(std::string_view identifier);

class SingleInstance {
public:
    explicit SingleInstance(const std::filesystem::path& lockFile);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True only when another running copy holds the lock. A lock file that cannot be created at
    // all does not stop start-up.
    bool AnotherIsRunning() const { return anotherIsRunning_; }

private:
    std::unique_ptr<platform::ExclusiveFileLock> lock_;
    bool anotherIsRunning_ = false;
};

}  // namespace pixhaven::app
