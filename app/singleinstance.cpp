// The single-instance lock.
#include "app/singleinstance.h"

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/files.h"
#include "platform/userdirs.h"

namespace pixhaven::app {
namespace {

std::filesystem::path RuntimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && std::filesystem::path(runtime).is_absolute()) {
        return runtime;
    }
    return platform::TempFolder();
}

// A lock we did not get is held by someone else only when the file itself can be opened; a file
// we cannot open (missing folder, another user's file in a shared folder) says nothing.
bool CanOpen(const std::filesystem::path& file) {
    std::fstream stream(file, std::ios::in | std::ios::out | std::ios::binary);
    return stream.is_open();
}

}  // namespace

std::filesystem::path InstanceLockFile(std::string_view identifier) {
    return RuntimeFolder() / (std::string(identifier) + ".lock");
}

SingleInstance::SingleInstance(const std::filesystem::path& lockFile)
    : lock_(std::make_unique<platform::ExclusiveFileLock>(lockFile,
                                                          platform::ExclusiveFileLock::Wait::No)) {
    anotherIsRunning_ = !lock_->IsLocked() && CanOpen(lockFile);
}

SingleInstance::~SingleInstance() = default;

}  // namespace pixhaven::app
