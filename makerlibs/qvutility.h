// The maker's utility library: a per-user key-value store laid out like the registry, folder
// tests and traversal, the program folder, and the update check.
//
// The store is one text file (qvutility/registry.ini under the user's configuration folder) with
// a section per key path, such as [HKEY_CURRENT_USER\Software\Quillmark\Pixhaven], and typed
// values: Version=sz:6.0.0, RunAtBoot=dword:00000001. The key
// "Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders" is answered by the platform:
// its value "AppData" is the user's application-data folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

enum class QvRootKey { CurrentUser };
enum class QvAccess { Read, ReadWrite };

// An open key; closing is the handle's destruction.
class QvRegKey {
public:
    QvRegKey() = default;
    bool IsOpen() const { return !path_.empty(); }
    const std::u16string& Path() const { return path_; }
    bool Writable() const { return access_ == QvAccess::ReadWrite; }

private:
    friend bool qvOpenRegKeyW(QvRootKey, std::u16string_view, QvAccess, QvRegKey&);
    friend bool qvCreateRegKeyW(QvRootKey, std::u16string_view, QvRegKey&);
    std::u16string path_;  // full path, "HKEY_CURRENT_USER\..."
    QvAccess access_ = QvAccess::Read;
};

// String values longer than this many characters, terminator included, cannot be read.
inline constexpr std::size_t kQvRegStrChars = 260;

// Opens an existing key; false when it does not exist.
bool qvOpenRegKeyW(QvRootKey root, std::u16string_view subKey, QvAccess access, QvRegKey& key);
// Opens a key for writing, creating it when missing; false when the store cannot be written.
bool qvCreateRegKeyW(QvRootKey root, std::u16string_view subKey, QvRegKey& key);

bool qvGetRegKeyStrW(const QvRegKey& key, std::u16string_view name, std::u16string& value);
bool qvSetRegKeyStrW(const QvRegKey& key, std::u16string_view name, std::u16string_view value);
bool qvGetRegKeyDwordW(const QvRegKey& key, std::u16string_view name, std::uint32_t& value);
bool qvSetRegKeyDwordW(const QvRegKey& key, std::u16string_view name, std::uint32_t value);

// What the traversal tells about one entry: its name and whether it is a folder.
struct QvFindData {
    std::filesystem::path name;
    bool isDirectory = false;
};
// Return false to stop the traversal.
using QvTraverseCallback = std::function<bool(const QvFindData&)>;

bool qvIsDirW(const std::filesystem::path& path);
// Reports the immediate sub-folders of `folder` ("." and ".." excluded) in name order. `flags` is
// reserved and must be 0. False when `folder` cannot be listed.
bool qvTraverseDirW(const std::filesystem::path& folder, const QvTraverseCallback& callback,
                    int flags = 0);
// Creates a folder with every missing parent.
bool qvCreateDirTreeW(const std::filesystem::path& folder);
// The folder that holds the running program.
std::filesystem::path qvGetAppDirW();

// Reads the update list at `listAddress` (a file:// address or a plain path; there is no network
// access) and returns non-zero only when it names a newer version of `program` than
// `currentVersion`. An unreadable or malformed list means no update. List format: one
// "program=version" line per program; blank lines and lines starting with '#' are ignored.
int qvCheckUpdate(std::u16string_view program, std::u16string_view currentVersion,
                  std::u16string_view listAddress);
