// File and folder services that the rest of the program reaches only through here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace pixhaven::platform {

enum class CopyResult {
    Copied,
    DestinationExists,  // nothing was written: an existing file is never replaced
    SourceUnreadable,
    DestinationFailed,  // the destination could not be created or fully written; nothing is left
    TransformFailed,    // the bytes could not be turned (decrypted); nothing is left
};

// Turns the bytes of a copy as they pass, decrypting them for instance.
class CopyTransform {
public:
    virtual ~CopyTransform() = default;
    // Appends what `in` turns into; false stops the copy as failed.
    virtual bool Update(std::span<const unsigned char> in, std::vector<unsigned char>& out) = 0;
    // Appends the last bytes once the source has ended; false fails the copy.
    virtual bool Finish(std::vector<unsigned char>& out) = 0;
};

// Copies one file's bytes; fails rather than replace anything at the destination. The second form
// also tells the system's reason for a failure.
CopyResult CopyFileNoOverwrite(const std::filesystem::path& from, const std::filesystem::path& to);
CopyResult CopyFileNoOverwrite(const std::filesystem::path& from, const std::filesystem::path& to,
                               std::error_code& error);
// The same with the bytes turned on the way.
CopyResult CopyFileNoOverwrite(const std::filesystem::path& from, const std::filesystem::path& to,
                               std::error_code& error, CopyTransform& transform);

// Creates one folder; false when it exists already or its parent is missing.
bool CreateFolder(const std::filesystem::path& folder);

// Creates one folder that did not exist before: false with `error` set to file_exists when
// something of that name is there already, or with the system's reason when it cannot be made.
bool CreateNewFolder(const std::filesystem::path& folder, std::error_code& error);

// Creates a folder and every missing parent; true when the folder exists afterwards.
bool CreateFolderTree(const std::filesystem::path& folder);

bool IsFolder(const std::filesystem::path& path);
bool PathExists(const std::filesystem::path& path);

// The entry of `folder` whose name equals `name` without regard to ASCII case, preferring an exact
// match; none when the folder has no such entry. Windows file systems match this way by default.
std::optional<std::filesystem::path> FindEntryIgnoringCase(const std::filesystem::path& folder,
                                                           std::string_view name);

// Size of a regular file, none when it cannot be read.
std::optional<std::uintmax_t> FileSize(const std::filesystem::path& file);

// The whole contents of a regular file; none when it is missing, not a regular file (a folder, a
// FIFO that would block), unreadable, or larger than `maxBytes`.
std::optional<std::string> ReadRegularFile(const std::filesystem::path& file,
                                           std::uintmax_t maxBytes);

// Replaces `file`'s contents through a temporary file beside it and a rename, so that a reader
// sees the old or the new contents, never a mix. False when nothing was replaced.
bool ReplaceFileAtomically(const std::filesystem::path& file, std::string_view bytes);

// An exclusive lock on a lock file (created when missing), held until destruction. It serialises
// threads as well as processes that lock the same file.
class ExclusiveFileLock {
public:
    enum class Wait { UntilFree, No };
    // Waits for the lock (or, with Wait::No, gives up at once if another holder has it);
    // IsLocked() tells whether it is held.
    explicit ExclusiveFileLock(const std::filesystem::path& lockFile, Wait wait = Wait::UntilFree);
    ~ExclusiveFileLock();
    ExclusiveFileLock(const ExclusiveFileLock&) = delete;
    ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;

    bool IsLocked() const { return handle_ != kNoHandle; }

private:
    static constexpr std::intptr_t kNoHandle = -1;
    std::intptr_t handle_ = kNoHandle;  // file descriptor, or HANDLE on Windows
};

}  // namespace pixhaven::platform
