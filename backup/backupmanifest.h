// Which manifest a backup folder holds, and whether it can be read at all.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "backup/manifest.h"

namespace pixhaven::backup {

enum class ManifestProblem { None, Unreadable, Encrypted };

struct BackupManifest {
    std::optional<Manifest> manifest;
    ManifestProblem problem = ManifestProblem::None;
};

// Manifest.mbdb when it exists, else Manifest.db (each name, and Manifest.plist's, matched
// without regard to case, the exact spelling first). Encrypted: Manifest.plist says IsEncrypted
// and Manifest.db does not start with the SQLite header (the header is checked, not the flag
// alone). Unreadable: neither manifest could be read (message "Parse Mainfest.mbdb failed!").
BackupManifest OpenBackupManifest(const std::filesystem::path& backupFolder);

// The message for an encrypted backup.
inline constexpr std::string_view kEncryptedBackupMessage =
    "This backup is encrypted. Pixhaven cannot read it without its password: turn off backup "
    "encryption for the device and back it up again.";

// What to tell the user about a problem: "Parse Mainfest.mbdb failed!" or the encrypted message.
std::string_view ManifestProblemMessage(ManifestProblem problem);

// True when Manifest.plist in `backupFolder` has IsEncrypted set to true.
bool IsMarkedEncrypted(const std::filesystem::path& backupFolder);

}  // namespace pixhaven::backup
