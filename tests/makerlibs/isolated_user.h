// A test fixture whose user folders (home, configuration, data) live in a fresh temporary folder,
// so that the key store and the "AppData" answer never touch the real home.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/tempdir.h"

namespace pixhaven::test {

class IsolatedUser : public ::testing::Test {
protected:
    void SetUp() override {
        Override("HOME", dir_.path());
        Override("XDG_CONFIG_HOME", dir_ / "config");
        Override("XDG_DATA_HOME", dir_ / "data");
    }
    void TearDown() override {
        for (const auto& [name, old] : saved_) {
            old ? ::setenv(name.c_str(), old->c_str(), 1) : ::unsetenv(name.c_str());
        }
    }

    const TempDir& Dir() const { return dir_; }
    std::filesystem::path StoreFile() const {
        return dir_ / "config" / "qvutility" / "registry.ini";
    }

private:
    void Override(const char* name, const std::filesystem::path& value) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
        ::setenv(name, value.c_str(), 1);
    }

    TempDir dir_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace pixhaven::test
