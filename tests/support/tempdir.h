// A fresh folder for one test, removed when the test ends.
#pragma once

#include <filesystem>
#include <map>
#include <set>
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

// Makes `folder` the current folder for one scope; the Android parser writes its text files into
// the current folder.
class InFolder {
public:
    explicit InFolder(const std::filesystem::path& folder);
    ~InFolder();
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    std::filesystem::path previous_;
};

// Writes `bytes` to `file`, creating its parent folders.
void WriteFile(const std::filesystem::path& file, std::string_view bytes);
std::string ReadFile(const std::filesystem::path& file);

// The names of the entries of `folder`.
std::set<std::filesystem::path> EntryNames(const std::filesystem::path& folder);
// The bytes of every regular file below `folder`, by its path from there with "/" separators.
std::map<std::string, std::string> ContentsBelow(const std::filesystem::path& folder);

// Makes a named pipe at `file`; opening it for reading waits for a writer. False when it cannot.
bool MakeFifo(const std::filesystem::path& file);

}  // namespace pixhaven::test
