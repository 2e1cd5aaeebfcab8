// Choosing and opening a backup's manifest. An encrypted modern backup keeps Manifest.db itself
// encrypted, so it is told apart from a damaged one by its property list together with the file's
// first bytes: the flag alone is not trusted, since a backup may say encrypted and still hold a
// plain database.
#include "backup/backupmanifest.h"

#include <tinyxml2.h>

#include <array>
#include <cstring>
#include <fstream>
#include <string>
#include <system_error>

#include "backup/manifestdb.h"
#include "backup/plistdoc.h"
#include "platform/files.h"

namespace pixhaven::backup {
namespace {

constexpr std::string_view kSqliteHeader("SQLite format 3\0", 16);
// A real Manifest.plist lists the installed applications and stays within a few megabytes.
constexpr std::uintmax_t kMaxManifestPlistBytes = std::uintmax_t{64} << 20;

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

bool IsKey(const tinyxml2::XMLElement& element, const char* key) {
    const char* text = element.GetText();
    return std::strcmp(element.Name(), "key") == 0 && text != nullptr &&
           std::strcmp(text, key) == 0;
}

// IsEncrypted among the top dictionary's keys, with <true/> after it.
bool SaysEncrypted(std::string_view bytes) {
    std::string converted;
    if (IsBinaryPlist(bytes)) {
        converted = BinaryPlistToXml(bytes);
        bytes = converted;
    }
    tinyxml2::XMLDocument document;
    if (bytes.empty() || document.Parse(bytes.data(), bytes.size()) != tinyxml2::XML_SUCCESS) {
        return false;
    }
    const tinyxml2::XMLElement* root = document.RootElement();
    const tinyxml2::XMLElement* dict = root ? root->FirstChildElement("dict") : nullptr;
    for (const tinyxml2::XMLElement* element = dict ? dict->FirstChildElement() : nullptr;
         element != nullptr; element = element->NextSiblingElement()) {
        if (IsKey(*element, "IsEncrypted")) {
            const tinyxml2::XMLElement* value = element->NextSiblingElement();
            return value != nullptr && std::strcmp(value->Name(), "true") == 0;
        }
    }
    return false;
}

// The entry named `name` in any capitals, as on the Windows file systems backups come from; the
// exact spelling wins when several exist.
std::filesystem::path EntryIgnoringCase(const std::filesystem::path& folder,
                                        std::string_view name) {
    return platform::FindEntryIgnoringCase(folder, name).value_or(folder / name);
}

BackupManifest Unreadable() {
    return {std::nullopt, ManifestProblem::Unreadable};
}

}  // namespace

std::string_view ManifestProblemMessage(ManifestProblem problem) {
    return problem == ManifestProblem::Encrypted ? kEncryptedBackupMessage
                                                 : std::string_view("Parse Mainfest.mbdb failed!");
}

bool IsMarkedEncrypted(const std::filesystem::path& backupFolder) {
    return SaysEncrypted(ReadPlistBytes(EntryIgnoringCase(backupFolder, "Manifest.plist")));
}

BackupManifest OpenBackupManifest(const std::filesystem::path& backupFolder) {
    const std::filesystem::path mbdb = EntryIgnoringCase(backupFolder, "Manifest.mbdb");
    if (IsRegularFile(mbdb)) {
        // The old format keeps its behaviour: its manifest alone decides.
        std::optional<Manifest> manifest = ReadManifest(mbdb);
        return manifest ? BackupManifest{std::move(manifest), ManifestProblem::None} : Unreadable();
    }
    const std::filesystem::path db = EntryIgnoringCase(backupFolder, "Manifest.db");
    if (!IsRegularFile(db)) {
        return Unreadable();
    }
    if (!StartsWithSqliteHeader(db)) {
        return IsMarkedEncrypted(backupFolder)
                   ? BackupManifest{std::nullopt, ManifestProblem::Encrypted}
                   : Unreadable();
    }
    std::optional<Manifest> manifest = ReadManifestDb(db);
    return manifest ? BackupManifest{std::move(manifest), ManifestProblem::None} : Unreadable();
}

}  // namespace pixhaven::backup
