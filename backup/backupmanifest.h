// Which manifest a backup folder holds, whether it is encrypted, and opening it — with its
// password when it is.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

#include "backup/backupkeys.h"
#include "backup/manifest.h"

namespace pixhaven::backup {

enum class ManifestProblem {
    None,
    Unreadable,          // neither manifest could be read
    PasswordNeeded,      // encrypted: it opens with its password
    WrongPassword,       // the password does not unwrap the backup's keys
    DamagedKeybag,       // Manifest.plist's key bag cannot be read
    MissingManifestKey,  // an encrypted Manifest.db without the key to it, or one that fails
    NoKeys,              // encrypted, but Manifest.plist holds no key bag to open it with
};

struct BackupManifest {
    std::optional<Manifest> manifest;
    std::shared_ptr<const BackupKeys> keys;  // none for a plain backup
    ManifestProblem problem = ManifestProblem::None;
};

// Manifest.mbdb when it exists, else Manifest.db (each name, and Manifest.plist's, matched
// without regard to case, the exact spelling first).
//
// A backup is encrypted when Manifest.plist says IsEncrypted and holds a BackupKeyBag. Without
// `password` it then gives PasswordNeeded; with it, the key bag is opened (slow: seconds with the
// counts real devices use), an encrypted Manifest.db is decrypted in memory, and the keys come
// with the manifest. Without a key bag, a Manifest.db that is not SQLite, or a Manifest.mbdb whose
// records carry wrapped keys, gives NoKeys when the list says encrypted or when the keys show
// it, and Unreadable otherwise: a backup is never read as plain while its files are not.
BackupManifest OpenBackupManifest(const std::filesystem::path& backupFolder,
                                  std::optional<std::string_view> password = std::nullopt);

// What to tell the user about a problem ("Parse Mainfest.mbdb failed!" for Unreadable).
std::string_view ManifestProblemMessage(ManifestProblem problem);

// True when Manifest.plist in `backupFolder` has IsEncrypted set to true.
bool IsMarkedEncrypted(const std::filesystem::path& backupFolder);

}  // namespace pixhaven::backup
