// Choosing and opening a backup's manifest. An encrypted modern backup keeps Manifest.db itself
// encrypted, so it is told apart from a damaged one by its property list together with the file's
// first bytes: the flag alone is not trusted, since a backup may say encrypted and still hold a
// plain database.
#include "backup/backupmanifest.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <string>
#include <system_error>

#include "backup/manifestdb.h"
#include "backup/manifestplist.h"
#include "platform/files.h"

namespace pixhaven::backup {
namespace {

constexpr std::string_view kSqliteHeader("SQLite format 3\0", 16);
// A real Manifest.plist lists the installed applications and stays within a few megabytes.
constexpr std::uintmax_t kMaxManifestPlistBytes = std::uintmax_t{64} << 20;
// An encrypted Manifest.db is decrypted in memory; half a million files make some 400 MB.
constexpr std::uintmax_t kMaxManifestDbBytes = std::uintmax_t{4} << 30;

bool IsRegularFile(const std::filesystem::path& file) {
    std::error_code error;
    return std::filesystem::is_regular_file(file, error);
}

std::string ReadPlistBytes(const std::filesystem::path& file) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (!IsRegularFile(file) || error || size > kMaxManifestPlistBytes) {
        return {};
    }
    std::ifstream stream(file, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    stream.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(stream.gcount(), 0)));
    return bytes;
}

bool StartsWithSqliteHeader(const std::filesystem::path& file) {
    if (!IsRegularFile(file)) {
        return false;
    }
    std::ifstream stream(file, std::ios::binary);
    std::array<char, kSqliteHeader.size()> head{};
    stream.read(head.data(), static_cast<std::streamsize>(head.size()));
    return stream.gcount() == static_cast<std::streamsize>(head.size()) &&
           std::string_view(head.data(), head.size()) == kSqliteHeader;
}

// The entry named `name` in any capitals, as on the Windows file systems backups come from; the
// exact spelling wins when several exist.
std::filesystem::path EntryIgnoringCase(const std::filesystem::path& folder,
                                        std::string_view name) {
    return platform::FindEntryIgnoringCase(folder, name).value_or(folder / name);
}

BackupManifest Problem(ManifestProblem problem) {
    return {std::nullopt, nullptr, problem};
}

BackupManifest Plain(std::optional<Manifest> manifest) {
    return manifest ? BackupManifest{std::move(manifest), nullptr, ManifestProblem::None}
                    : Problem(ManifestProblem::Unreadable);
}

ManifestPlist ReadManifestPlist(const std::filesystem::path& backupFolder) {
    return ParseManifestPlist(ReadPlistBytes(EntryIgnoringCase(backupFolder, "Manifest.plist")));
}

// A Manifest.mbdb record keeps the class and wrapped key of its file's key in its encryption-key
// field; a plain backup leaves the field absent.
bool CarriesWrappedKeys(const Manifest& manifest) {
    return std::any_of(manifest.begin(), manifest.end(), [](const ManifestRecord& record) {
        const auto key = record.EncryptionKey();
        return key && key->size() == 4 + kWrappedKeyBytes;
    });
}

// Manifest.db itself, decrypted in memory with the key Manifest.plist wraps for it.
BackupManifest ReadEncryptedManifestDb(const std::filesystem::path& db, const ManifestPlist& plist,
                                       std::shared_ptr<const BackupKeys> keys) {
    const std::optional<SecretBytes> key =
        plist.manifestKey ? keys->UnwrapStoredKey(*plist.manifestKey) : std::nullopt;
    const std::optional<std::string> ciphertext =
        key ? platform::ReadRegularFile(db, kMaxManifestDbBytes) : std::nullopt;
    std::optional<std::string> plain =
        ciphertext ? DecryptContent(*key, *ciphertext, kWholeContent) : std::nullopt;
    if (!plain) {
        return Problem(ManifestProblem::MissingManifestKey);
    }
    std::optional<Manifest> manifest = ReadManifestDbFromMemory(std::move(*plain));
    if (!manifest) {
        return Problem(ManifestProblem::Unreadable);
    }
    return {std::move(manifest), std::move(keys), ManifestProblem::None};
}

// The manifest of a backup whose key bag the password has opened.
BackupManifest OpenEncrypted(const std::filesystem::path& backupFolder, const ManifestPlist& plist,
                             std::string_view password) {
    const std::optional<Keybag> keybag = ParseKeybag(*plist.keybag);
    if (!keybag) {
        return Problem(ManifestProblem::DamagedKeybag);
    }
    auto unlocked = BackupKeys::Unlock(*keybag, password);
    if (std::holds_alternative<UnlockProblem>(unlocked)) {
        return Problem(ManifestProblem::WrongPassword);
    }
    auto keys = std::make_shared<const BackupKeys>(std::move(std::get<BackupKeys>(unlocked)));
    const std::filesystem::path mbdb = EntryIgnoringCase(backupFolder, "Manifest.mbdb");
    const std::filesystem::path db = EntryIgnoringCase(backupFolder, "Manifest.db");
    std::optional<Manifest> manifest;
    if (IsRegularFile(mbdb)) {
        manifest = ReadManifest(mbdb);
    } else if (!IsRegularFile(db)) {
        return Problem(ManifestProblem::Unreadable);
    } else if (!StartsWithSqliteHeader(db)) {
        return ReadEncryptedManifestDb(db, plist, std::move(keys));
    } else {
        manifest = ReadManifestDb(db);  // Manifest.db stayed plain before iOS 10.2
    }
    if (!manifest) {
        return Problem(ManifestProblem::Unreadable);
    }
    return {std::move(manifest), std::move(keys), ManifestProblem::None};
}

}  // namespace

std::string_view ManifestProblemMessage(ManifestProblem problem) {
    switch (problem) {
        case ManifestProblem::None:
            return {};
        case ManifestProblem::PasswordNeeded:
            return "This backup is encrypted. Pixhaven opens it with the password it was backed "
                   "up with.";
        case ManifestProblem::WrongPassword:
            return "The password is wrong: it does not open this backup's keys.";
        case ManifestProblem::DamagedKeybag:
            return "This backup's key bag is damaged: the backup cannot be decrypted.";
        case ManifestProblem::MissingManifestKey:
            return "This backup's Manifest.plist has no usable key for Manifest.db: the backup "
                   "cannot be decrypted.";
        case ManifestProblem::NoKeys:
            return "This backup is encrypted, but its Manifest.plist holds no key bag: it cannot "
                   "be decrypted.";
        case ManifestProblem::Unreadable:
            break;
    }
    return "Parse Mainfest.mbdb failed!";
}

bool IsMarkedEncrypted(const std::filesystem::path& backupFolder) {
    return ReadManifestPlist(backupFolder).encrypted;
}

BackupManifest OpenBackupManifest(const std::filesystem::path& backupFolder,
                                  std::optional<std::string_view> password) {
    const ManifestPlist plist = ReadManifestPlist(backupFolder);
    if (plist.encrypted && plist.keybag) {
        return password ? OpenEncrypted(backupFolder, plist, *password)
                        : Problem(ManifestProblem::PasswordNeeded);
    }
    const ManifestProblem locked =
        plist.encrypted ? ManifestProblem::NoKeys : ManifestProblem::Unreadable;
    const std::filesystem::path mbdb = EntryIgnoringCase(backupFolder, "Manifest.mbdb");
    if (IsRegularFile(mbdb)) {
        // The old format's manifest decides, unless its records show encrypted files.
        std::optional<Manifest> manifest = ReadManifest(mbdb);
        if (manifest && CarriesWrappedKeys(*manifest)) {
            return Problem(ManifestProblem::NoKeys);
        }
        return Plain(std::move(manifest));
    }
    const std::filesystem::path db = EntryIgnoringCase(backupFolder, "Manifest.db");
    if (!IsRegularFile(db)) {
        return Problem(ManifestProblem::Unreadable);
    }
    if (!StartsWithSqliteHeader(db)) {
        return Problem(locked);
    }
    return Plain(ReadManifestDb(db));
}

}  // namespace pixhaven::backup
