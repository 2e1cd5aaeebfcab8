// File and folder services that the rest of the program reaches only through here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

namespace pixhaven::platform {

enum class CopyResult {
    Copied,
    DestinationExists,  // nothing was written: an existing file is never replaced
    SourceUnreadable,
    DestinationFailed,  // the destination could not be created or fully written; nothing is left
};

// Copies one file's bytes; fails rather than replace anything at the destination.
CopyResult CopyFileNoOverwrite(const std::filesystem::path& from, const std::filesystem::path& to);

// Creates one folder; false when it exists already or its parent is missing.
bool CreateFolder(const std::filesystem::path& folder);

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

}  // namespace pixhaven::platform
