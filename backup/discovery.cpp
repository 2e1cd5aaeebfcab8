// Finds the backup root, makes one row per backup folder, and reads the device facts of each
// backup's info.plist into a BackupInfo.
#include "backup/discovery.h"

#include <tinyxml2.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <system_error>
#include <utility>

#include "backup/plistdoc.h"
#include "platform/files.h"
#include "platform/textcodec.h"
#include "platform/userdirs.h"

namespace pixhaven::backup {
namespace {

constexpr std::u16string_view kShellFoldersKey =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// A real info.plist is a few kilobytes to a few megabytes; a larger file is refused unread so a
// hostile backup cannot make the program load gigabytes.
constexpr std::uintmax_t kMaxInfoPlistBytes = std::uintmax_t{64} << 20;

struct KeyField {
    std::string_view key;
    std::u16string BackupInfo::*field;
};

constexpr std::array<KeyField, 14> kKeyFields{{
    {"Build Version", &BackupInfo::buildVersion},
    {"Device Name", &BackupInfo::deviceName},
    {"GUID", &BackupInfo::guid},
    {"ICCID", &BackupInfo::iccid},
    {"IMEI", &BackupInfo::imei},
    {"Last Backup Date", &BackupInfo::lastBackupDate},
    {"MEID", &BackupInfo::meid},
    {"Phone Number", &BackupInfo::phoneNumber},
    {"Product Type", &BackupInfo::productType},
    {"Product Version", &BackupInfo::productVersion},
    {"Serial Number", &BackupInfo::serialNumber},
    {"Target Identifier", &BackupInfo::targetIdentifier},
    {"Target Type", &BackupInfo::targetType},
    {"iTunes Version", &BackupInfo::itunesVersion},
}};

// The application-data folder, as the shell's folder list names it.
std::filesystem::path AppDataFolder() {
    QvRegKey key;
    std::u16string appData;
    if (!qvOpenRegKeyW(QvRootKey::CurrentUser, kShellFoldersKey, QvAccess::Read, key) ||
        !qvGetRegKeyStrW(key, u"AppData", appData) || appData.empty()) {
        // An empty value would otherwise make the root relative to the working folder.
        return {};
    }
    return platform::PathFromUtf16(appData);
}

// Everything but the folder name back to "not read".
void ClearFacts(BackupInfo& info) {
    BackupInfo cleared;
    cleared.folderName = std::move(info.folderName);
    info = std::move(cleared);
}

struct FileContent {
    int failure = kInfoRead;
    std::string bytes;
};

FileContent ReadWholeFile(const std::filesystem::path& file) {
    // Only a regular file is opened: a folder, a pipe or a device named info.plist could
    // otherwise block the reading or never end.
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        return {kInfoNotOpened, {}};
    }
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        return {kInfoNotOpened, {}};
    }
    const std::optional<std::uintmax_t> size = platform::FileSize(file);
    if (!size || *size == 0 || *size > kMaxInfoPlistBytes) {
        return {kInfoUnreadable, {}};
    }
    std::string bytes(static_cast<std::size_t>(*size), '\0');
    stream.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(stream.gcount()));
    if (bytes.empty()) {
        return {kInfoUnreadable, {}};
    }
    return {kInfoRead, std::move(bytes)};
}

bool IsNamed(const tinyxml2::XMLElement& element, const char* lower, const char* upper) {
    return std::strcmp(element.Name(), lower) == 0 || std::strcmp(element.Name(), upper) == 0;
}

std::u16string BackupInfo::*FieldForKey(const char* keyText) {
    if (keyText == nullptr) {
        return nullptr;
    }
    for (const KeyField& entry : kKeyFields) {
        if (entry.key == keyText) {
            return entry.field;
        }
    }
    return nullptr;
}

// A known key takes the element after it as its value, whatever that element is called.
void StoreFacts(BackupInfo& info, const tinyxml2::XMLElement& dict) {
    for (const tinyxml2::XMLElement* element = dict.FirstChildElement(); element != nullptr;
         element = element->NextSiblingElement()) {
        if (!IsNamed(*element, "key", "KEY")) {
            continue;
        }
        std::u16string BackupInfo::*field = FieldForKey(element->GetText());
        const tinyxml2::XMLElement* value = element->NextSiblingElement();
        if (field == nullptr || value == nullptr) {
            continue;
        }
        const char* text = value->GetText();
        info.*field = platform::Utf8ToUtf16(text != nullptr ? text : "");
        element = value;
    }
}

int ParseFacts(BackupInfo& info, std::string_view bytes) {
    std::string converted;
    if (IsBinaryPlist(bytes)) {
        converted = BinaryPlistToXml(bytes);
        if (converted.empty()) {
            return kInfoUnreadable;
        }
        bytes = converted;
    }
    tinyxml2::XMLDocument document;
    if (document.Parse(bytes.data(), bytes.size()) != tinyxml2::XML_SUCCESS) {
        return kInfoUnreadable;
    }
    const tinyxml2::XMLElement* root = document.FirstChildElement();
    if (root == nullptr || !IsNamed(*root, "plist", "PLIST")) {
        return kInfoNotPlist;
    }
    const tinyxml2::XMLElement* dict = root->FirstChildElement();
    if (dict == nullptr) {
        return kInfoUnreadable;
    }
    if (!IsNamed(*dict, "dict", "DICT")) {
        return kInfoNotPlist;
    }
    StoreFacts(info, *dict);
    return kInfoRead;
}

}  // namespace

std::vector<std::filesystem::path> FindBackupRoots() {
    std::vector<std::filesystem::path> roots;
    for (const std::filesystem::path& folder : platform::DeviceSoftwareFolders(AppDataFolder())) {
        roots.push_back(folder / "MobileSync" / "Backup");
    }
    return roots;
}

std::filesystem::path ChooseBackupRoot(const std::vector<std::filesystem::path>& roots) {
    for (const std::filesystem::path& root : roots) {
        if (qvIsDirW(root)) {
            return root;
        }
    }
    return roots.empty() ? std::filesystem::path() : roots.front();
}

std::filesystem::path FindBackupRoot() {
    return ChooseBackupRoot(FindBackupRoots());
}

int ReadBackupInfoBytes(BackupInfo& info, std::string_view bytes) {
    ClearFacts(info);
    info.readResult = ParseFacts(info, bytes);
    return info.readResult;
}

int ReadBackupInfo(BackupInfo& info, const std::filesystem::path& plistPath) {
    const FileContent content = ReadWholeFile(plistPath);
    if (content.failure != kInfoRead) {
        ClearFacts(info);
        info.readResult = content.failure;
        return info.readResult;
    }
    return ReadBackupInfoBytes(info, content.bytes);
}

// A folder named info.plist counts as present, as a plain existence test sees it; opening it as
// a file then fails, so its row carries read result 2.
void AddBackupRow(std::vector<BackupRow>& rows, const std::filesystem::path& backupRoot,
                  const QvFindData& entry) {
    BackupRow row{entry.name, std::nullopt};
    const std::filesystem::path folder = backupRoot / entry.name;
    if (const auto found = platform::FindEntryIgnoringCase(folder, "info.plist")) {
        BackupInfo info;
        info.folderName = platform::PathToUtf16(entry.name);
        ReadBackupInfo(info, folder / found->filename());
        row.info = std::move(info);
    }
    rows.push_back(std::move(row));
}

std::vector<BackupRow> ListBackups(const std::filesystem::path& backupRoot) {
    std::vector<BackupRow> rows;
    if (backupRoot.empty() || !qvIsDirW(backupRoot)) {
        return rows;
    }
    qvTraverseDirW(backupRoot, [&rows, &backupRoot](const QvFindData& entry) {
        AddBackupRow(rows, backupRoot, entry);
        return true;
    });
    return rows;
}

}  // namespace pixhaven::backup
