// Points the user's configuration, runtime and temporary folders of a QtTest run at a fresh
// folder, so that the key store, the instance lock and the working folder never touch the real
// home. Restores the old values when it goes.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/tempdir.h"

namespace pixhaven::test {

class IsolatedSession {
public:
    IsolatedSession() {
        Override("XDG_CONFIG_HOME", dir_ / "config");
        Override("XDG_RUNTIME_DIR", dir_ / "runtime");
        Override("TMPDIR", dir_ / "tmp");
        std::filesystem::create_directories(dir_ / "runtime");
        // Qt insists on a private runtime folder.
        std::filesystem::permissions(dir_ / "runtime", std::filesystem::perms::owner_all);
        std::filesystem::create_directories(dir_ / "tmp");
    }
    ~IsolatedSession() {
        for (const auto& [name, old] : saved_) {
            old ? ::setenv(name.c_str(), old->c_str(), 1) : ::unsetenv(name.c_str());
        }
    }
    IsolatedSession(const IsolatedSession&) = delete;
    IsolatedSession& operator=(const IsolatedSession&) = delete;

    const std::filesystem::path& Path() const { return dir_.path(); }
    std::filesystem::path operator/(const std::filesystem::path& child) const {
        return dir_ / child;
    }

    void Override(const char* name, const std::filesystem::path& value) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
        ::setenv(name, value.c_str(), 1);
    }

private:
    TempDir dir_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace pixhaven::test
