// Finds the backup root, lists its backup folders and reads each backup's device facts from its
// info.plist (XML or binary property list).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "makerlibs/qvutility.h"

namespace pixhaven::backup {

// Results of ReadBackupInfo.
enum InfoReadResult : int {
    kInfoRead = 0,
    kInfoUnreadable = 1,  // unreadable, not well-formed, unconvertible, or a root without children
    kInfoNotOpened = 2,   // the file could not be opened
    kInfoNotPlist = 3,    // no element, a root that is not a plist, or a first child not a dict
};

struct BackupInfo {
    std::u16string folderName;
    std::u16string buildVersion;
    std::u16string deviceName;
    std::u16string guid;
    std::u16string iccid;
    std::u16string imei;
    std::u16string lastBackupDate;
    std::u16string meid;
    std::u16string phoneNumber;
    std::u16string productType;
    std::u16string productVersion;
    std::u16string serialNumber;
    std::u16string targetIdentifier;
    std::u16string targetType;
    std::u16string itunesVersion;
    int readResult = kInfoRead;
};

// One entry of the backup root as the backup list shows it; `info` is absent when the folder
// holds no info.plist.
struct BackupRow {
    std::filesystem::path folderName;
    std::optional<BackupInfo> info;
};

// The folder under which the backups live; empty when it cannot be worked out. Where several
// places may hold backups (FindBackupRoots), the first that is a folder, else the usual place.
std::filesystem::path FindBackupRoot();

// Every place this user's backups may live, usual place first: the application-data folder's
// MobileSync, and on Windows also the user profile's Apple\MobileSync\Backup, where newer
// desktop software keeps them. Places that cannot be worked out are left out.
std::vector<std::filesystem::path> FindBackupRoots();

// The first of `roots` that is a folder; the first of them when none is; empty when none given.
std::filesystem::path ChooseBackupRoot(const std::vector<std::filesystem::path>& roots);

// Reads the property list at `plistPath` into `info` and returns the read result, which it also
// stores in `info.readResult`.
int ReadBackupInfo(BackupInfo& info, const std::filesystem::path& plistPath);

// The same from the property list's bytes already in memory.
int ReadBackupInfoBytes(BackupInfo& info, std::string_view bytes);

// Appends the row for one entry of the backup root.
void AddBackupRow(std::vector<BackupRow>& rows, const std::filesystem::path& backupRoot,
                  const QvFindData& entry);

// One row per backup folder of the root, in name order; empty when the root is not a folder.
// Every folder is a row whatever its name: 40-character ids, 25-character ids such as
// "00008030-001A2B3C4D5E6F78", and snapshot folders "<device id>-YYYYMMDD-HHMMSS".
std::vector<BackupRow> ListBackups(const std::filesystem::path& backupRoot);

}  // namespace pixhaven::backup
