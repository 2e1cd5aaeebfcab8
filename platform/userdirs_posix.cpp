// Per-user folders on Linux and macOS: the XDG base directories on Linux, ~/Library on macOS.
#include <pwd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/userdirs.h"

#ifdef __APPLE__
#include <mach-o/dyld.h>
#endif

namespace fs = std::filesystem;

namespace pixhaven::platform {
namespace {

// An environment variable that holds an absolute path; relative values are ignored, as the XDG
// rules ask.
std::optional<fs::path> AbsoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    fs::path path(value);
    if (!path.is_absolute()) {
        return std::nullopt;
    }
    return path;
}

fs::path HomeFromPasswordFile() {
    long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr) {
        return {};
    }
    return fs::path(found->pw_dir);
}

fs::path HomeFolder() {
    if (auto home = AbsoluteFromEnvironment("HOME")) {
        return *home;
    }
    return HomeFromPasswordFile();
}

// A folder below the home folder; empty rather than relative to the working folder when the home
// folder is unknown.
fs::path BelowHome(const fs::path& relative) {
    const fs::path home = HomeFolder();
    return home.is_absolute() ? home / relative : fs::path();
}

// An XDG base folder: the variable when it names an absolute folder, else its place below home.
// macOS keeps the same kinds of files under Library.
fs::path BaseFolder([[maybe_unused]] const char* variable,
                    [[maybe_unused]] const fs::path& belowHome,
                    [[maybe_unused]] const fs::path& belowLibrary) {
#ifdef __APPLE__
    return BelowHome(fs::path("Library") / belowLibrary);
#else
    if (auto folder = AbsoluteFromEnvironment(variable)) {
        return *folder;
    }
    return BelowHome(belowHome);
#endif
}

}  // namespace

fs::path UserDataFolder() {
    return BaseFolder("XDG_DATA_HOME", fs::path(".local") / "share", "Application Support");
}

fs::path UserConfigFolder() {
    return BaseFolder("XDG_CONFIG_HOME", ".config", "Preferences");
}

fs::path TempFolder() {
    std::error_code error;
    fs::path temp = fs::temp_directory_path(error);
    return error ? fs::path("/tmp") : temp;
}

fs::path ExecutableFile() {
    std::error_code error;
#ifdef __APPLE__
    std::uint32_t size = 0;
    _NSGetExecutablePath(nullptr, &size);
    std::vector<char> buffer(size + 1, '\0');
    if (_NSGetExecutablePath(buffer.data(), &size) != 0) {
        return {};
    }
    fs::path file = fs::weakly_canonical(fs::path(buffer.data()), error);
    return error ? fs::path(buffer.data()) : file;
#else
    fs::path file = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : file;
#endif
}

fs::path ProgramFileName(std::string_view name) {
    return fs::path(name);
}

std::vector<fs::path> DeviceSoftwareFolders(const fs::path& appData) {
    if (appData.empty()) {
        return {};
    }
#ifdef __APPLE__
    return {appData};
#else
    return {appData / "Apple Computer"};
#endif
}

}  // namespace pixhaven::platform
