// A fresh folder for one test, removed when the test ends.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace pixhaven::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& child) const {
        return path_ / child;
    }

private:
    std::filesystem::path path_;
};

// Writes `bytes` to `file`, creating its parent folders.
void WriteFile(const std::filesystem::path& file, std::string_view bytes);
std::string ReadFile(const std::filesystem::path& file);

// Makes a named pipe at `file`; opening it for reading waits for a writer. False when it cannot.
bool MakeFifo(const std::filesystem::path& file);

}  // namespace pixhaven::test
