// The sample backup root: which backups it holds, their device facts and info.plist forms, and
// the guard that keeps the generator from writing into a folder it did not make.
#include "tools/samplegen/samplegen.h"

#include <plist/plist.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <memory>

#include "backup/sha1.h"
#include "tools/samplegen/backup_writer.h"
#include "tools/samplegen/catalogue.h"
#include "tools/samplegen/info_plist.h"
#include "tools/samplegen/random.h"

namespace pixhaven::samplegen {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kMarkerHeader = "pixhaven-samplegen output folder";

enum class CatalogueKind : std::uint8_t { Full, Core, Heic, Encrypted, Large };

// How the folder of a backup is named after its device.
enum class FolderKind : std::uint8_t {
    Classic,   // 40 hexadecimal characters
    Newer,     // "00008030-" and 16 upper-case hexadecimal characters
    Snapshot,  // the previous backup's folder name and "-YYYYMMDD-HHMMSS"
};

struct BackupPlan {
    InfoPlistForm infoPlist = InfoPlistForm::Xml;
    const char* deviceName = "";
    const char* productType = "";
    const char* productVersion = "";
    const char* buildVersion = "";
    CatalogueKind catalogue = CatalogueKind::Core;
    bool cutManifest = false;
    std::string folderName;
    ManifestKind manifest = ManifestKind::Mbdb;
    FolderKind folder = FolderKind::Classic;
    std::optional<std::size_t> sameFilesAs;
    bool encrypt = false;  // with the options' password
};

BackupPlan Plan(InfoPlistForm infoPlist, const char* deviceName, const char* productType,
                const char* productVersion, const char* buildVersion, CatalogueKind catalogue,
                bool cutManifest = false) {
    BackupPlan plan;
    plan.infoPlist = infoPlist;
    plan.deviceName = deviceName;
    plan.productType = productType;
    plan.productVersion = productVersion;
    plan.buildVersion = buildVersion;
    plan.catalogue = catalogue;
    plan.cutManifest = cutManifest;
    return plan;
}

// An encrypted copy of the backup at `original`.
BackupPlan EncryptedCopy(BackupPlan plan, std::size_t original) {
    plan.sameFilesAs = original;
    plan.encrypt = true;
    return plan;
}

BackupPlan ModernPlan(InfoPlistForm infoPlist, const char* deviceName, const char* productType,
                      const char* productVersion, const char* buildVersion, CatalogueKind catalogue,
                      FolderKind folder) {
    BackupPlan plan =
        Plan(infoPlist, deviceName, productType, productVersion, buildVersion, catalogue);
    plan.manifest = ManifestKind::Db;
    plan.folder = folder;
    return plan;
}

std::string FolderName(const BackupPlan& plan, const std::string& label,
                       const std::string& previous) {
    const std::string hex = backup::Sha1Hex(label.data(), label.size());
    switch (plan.folder) {
        case FolderKind::Classic:
            break;
        case FolderKind::Newer: {
            std::string id = "00008030-" + hex.substr(0, 16);
            std::transform(id.begin(), id.end(), id.begin(),
                           [](char c) { return static_cast<char>(std::toupper(c)); });
            return id;
        }
        case FolderKind::Snapshot:
            return previous + "-20240315-101530";
    }
    return hex;
}

// The device a backup came from: its folder name without a snapshot's date and time.
std::string DeviceId(const BackupPlan& plan) {
    constexpr std::size_t kSnapshotSuffix = std::string_view("-YYYYMMDD-HHMMSS").size();
    if (plan.folder == FolderKind::Snapshot && plan.folderName.size() > kSnapshotSuffix) {
        return plan.folderName.substr(0, plan.folderName.size() - kSnapshotSuffix);
    }
    return plan.folderName;
}

std::vector<BackupPlan> PlanBackups(const SampleOptions& options) {
    std::vector<BackupPlan> plans = {
        Plan(InfoPlistForm::Xml, "Jonathan's iPhone", "iPhone4,1", "5.1.1", "9B206",
             CatalogueKind::Full),
        Plan(InfoPlistForm::Binary, "Zo\xC3\xAB\xE2\x80\x99s iPhone", "iPhone5,2", "6.1.4",
             "10B350", CatalogueKind::Full),
        Plan(InfoPlistForm::Missing, "", "", "", "", CatalogueKind::Core),
        Plan(InfoPlistForm::Corrupt, "Broken Plist iPhone", "iPhone3,1", "5.0.1", "9A405",
             CatalogueKind::Core),
        Plan(InfoPlistForm::Xml, "\xE5\xB0\x8F\xE6\x98\x8E\xE7\x9A\x84 iPad", "iPad3,4", "6.0.1",
             "10A523", CatalogueKind::Core, true),
        // Newer devices: Manifest.db beside the old manifests in the same root.
        ModernPlan(InfoPlistForm::Xml, "Jonathan's iPhone 11", "iPhone12,1", "14.4", "18D52",
                   CatalogueKind::Full, FolderKind::Classic),
        ModernPlan(InfoPlistForm::Binary, "Mia's iPhone", "iPhone13,2", "16.3.1", "20D67",
                   CatalogueKind::Heic, FolderKind::Newer),
        ModernPlan(InfoPlistForm::Binary, "Mia's iPhone", "iPhone13,2", "16.3.1", "20D67",
                   CatalogueKind::Core, FolderKind::Snapshot),
        ModernPlan(InfoPlistForm::Xml, "Locked iPhone", "iPhone10,4", "15.7", "19H12",
                   CatalogueKind::Encrypted, FolderKind::Classic),
        // The first backup's files again, encrypted with the options' password.
        EncryptedCopy(Plan(InfoPlistForm::Xml, "Jonathan's encrypted iPhone", "iPhone4,1", "5.1.1",
                           "9B206", CatalogueKind::Full),
                      0),
        EncryptedCopy(
            ModernPlan(InfoPlistForm::Binary, "Jonathan's encrypted iPhone 11", "iPhone12,1",
                       "14.4", "18D52", CatalogueKind::Full, FolderKind::Classic),
            0),
    };
    plans[5].sameFilesAs = 0;  // the end-to-end tests compare the two
    if (options.largeFiles > 0 || options.largePhotos > 0) {
        plans.push_back(Plan(InfoPlistForm::Xml, "Benchmark iPhone", "iPhone5,1", "6.1.3", "10B329",
                             CatalogueKind::Large));
        plans.back().encrypt = options.largeEncrypted;
    }
    for (std::size_t i = 0; i < plans.size(); ++i) {
        const std::string label =
            "pixhaven sample device " + std::to_string(options.seed) + "/" + std::to_string(i);
        plans[i].folderName = FolderName(plans[i], label, i > 0 ? plans[i - 1].folderName : "");
    }
    return plans;
}

std::string Digits(Random& random, int count, const char* alphabet, std::uint32_t size) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += alphabet[random.Between(0, size - 1)];
    }
    return text;
}

DeviceProfile MakeProfile(const BackupPlan& plan, Random& random) {
    static constexpr const char* kDecimal = "0123456789";
    static constexpr const char* kHex = "0123456789ABCDEF";
    static constexpr const char* kSerial = "0123456789ABCDEFGHJKLMNPQRSTUVWXYZ";
    DeviceProfile device;
    device.buildVersion = plan.buildVersion;
    device.deviceName = plan.deviceName;
    device.guid = Digits(random, 32, kHex, 16);
    device.iccid = "89" + Digits(random, 17, kDecimal, 10);
    device.imei = "01" + Digits(random, 13, kDecimal, 10);
    // During 2013 for the old devices, during 2023 for the newer ones.
    const std::int64_t year = plan.manifest == ManifestKind::Db ? 1672531200 : 1356998400;
    device.lastBackup = year + random.Between(0, 365u * 86400u);
    device.meid = Digits(random, 14, kHex, 16);
    device.phoneNumber =
        "+1 (555) 01" + Digits(random, 1, kDecimal, 10) + "-" + Digits(random, 4, kDecimal, 10);
    device.productType = plan.productType;
    device.productVersion = plan.productVersion;
    device.serialNumber = Digits(random, 12, kSerial, 34);
    device.targetIdentifier = DeviceId(plan);
    device.targetType = "Device";
    device.itunesVersion = "11.0.4.4";
    return device;
}

void WriteFile(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        throw SampleError("cannot write " + file.string());
    }
}

void WriteInfoPlist(const BackupPlan& plan, Random& random, BackupReport& report) {
    report.infoPlist = plan.infoPlist;
    if (plan.infoPlist == InfoPlistForm::Missing) {
        return;
    }
    const DeviceProfile device = MakeProfile(plan, random);
    std::string bytes;
    if (plan.infoPlist == InfoPlistForm::Binary) {
        report.infoPlistFileName = "Info.plist";  // the capital I that real backups use
        bytes = InfoPlistBinary(device);
    } else {
        report.infoPlistFileName = "info.plist";
        bytes = InfoPlistXml(device);
    }
    if (plan.infoPlist == InfoPlistForm::Corrupt) {
        bytes.resize(bytes.size() * 3 / 5);  // ends inside the dictionary: not well formed
    } else {
        report.deviceFacts = DeviceFactTexts(device);
    }
    fs::create_directories(report.folder);
    WriteFile(report.folder / report.infoPlistFileName, bytes);
}

// Only plain names of this folder are removed: a marker cannot send the removal anywhere else.
bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\:") == std::string::npos;
}

std::vector<std::string> ReadMarker(const fs::path& marker) {
    std::ifstream in(marker, std::ios::binary);
    std::string line;
    if (!std::getline(in, line) || line != kMarkerHeader) {
        throw SampleError(marker.string() + " is not a marker of this generator");
    }
    std::vector<std::string> names;
    while (std::getline(in, line)) {
        if (IsPlainName(line)) {
            names.push_back(line);
        }
    }
    return names;
}

// The folder must be missing, empty, or carry the marker of an earlier run, whose entries are
// then removed. Anything else is refused before a single byte is written.
void PrepareOutputFolder(const fs::path& out) {
    if (out.empty()) {
        throw SampleError("no output folder given");
    }
    if (!fs::exists(out)) {
        fs::create_directories(out);
        return;
    }
    if (!fs::is_directory(out)) {
        throw SampleError(out.string() + " exists and is not a folder");
    }
    if (fs::is_empty(out)) {
        return;
    }
    const fs::path marker = out / kMarkerFileName;
    if (!fs::is_regular_file(fs::symlink_status(marker))) {
        throw SampleError(out.string() +
                          " is not empty and was not made by pixhaven-samplegen; refusing to "
                          "write into it");
    }
    for (const std::string& name : ReadMarker(marker)) {
        fs::remove_all(out / name);
    }
}

void WriteMarker(const fs::path& out, const std::vector<BackupPlan>& plans) {
    std::string text(kMarkerHeader);
    text += '\n';
    for (const BackupPlan& plan : plans) {
        text += plan.folderName + '\n';
    }
    WriteFile(out / kMarkerFileName, text);
}

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};

void SetData(plist_t dict, const char* key, const std::string& bytes) {
    plist_dict_set_item(dict, key, plist_new_data(bytes.data(), bytes.size()));
}

// Manifest.plist: whether the backup is encrypted, its keys, and the device it came from. The old
// format's is XML, the newer one's binary.
std::string ManifestPlist(const BackupPlan& plan, bool encrypted, const ManifestKeys& keys) {
    const bool modern = plan.manifest == ManifestKind::Db;
    const std::unique_ptr<void, PlistDeleter> root(plist_new_dict());
    plist_t dict = root.get();
    plist_dict_set_item(dict, "IsEncrypted", plist_new_bool(encrypted ? 1 : 0));
    plist_dict_set_item(dict, "Version", plist_new_string(modern ? "10.0" : "9.1"));
    plist_dict_set_item(dict, "SystemDomainsVersion", plist_new_string(modern ? "24.0" : "13.0"));
    plist_dict_set_item(dict, "WasPasscodeSet", plist_new_bool(1));
    SetData(dict, "BackupKeyBag", keys.keybag);
    if (!keys.manifestKey.empty()) {
        SetData(dict, "ManifestKey", keys.manifestKey);
    }
    plist_t lockdown = plist_new_dict();
    plist_dict_set_item(lockdown, "DeviceName", plist_new_string(plan.deviceName));
    plist_dict_set_item(lockdown, "ProductType", plist_new_string(plan.productType));
    plist_dict_set_item(lockdown, "ProductVersion", plist_new_string(plan.productVersion));
    plist_dict_set_item(lockdown, "BuildVersion", plist_new_string(plan.buildVersion));
    plist_dict_set_item(lockdown, "UniqueDeviceID", plist_new_string(DeviceId(plan).c_str()));
    plist_dict_set_item(dict, "Lockdown", lockdown);
    return EncodePlist(dict, modern);
}

void WriteManifestPlist(const BackupPlan& plan, const fs::path& folder, bool encrypted,
                        const ManifestKeys& keys) {
    fs::create_directories(folder);
    WriteFile(folder / "Manifest.plist", ManifestPlist(plan, encrypted, keys));
}

// A plain backup's keybag: bytes nothing reads.
ManifestKeys UnusedKeys(Random& random) {
    return {random.Bytes(96), {}};
}

// The keys of a backup no password opens: a real keybag for a password drawn at random. Its
// iteration counts stay the defaults whatever the options say: deriving a key nobody can use
// slowly would only slow the generator.
ManifestKeys LockedKeys(Random& random) {
    Encryption unknown;
    unknown.password = random.Bytes(24);
    const BackupKeys keys(unknown, ManifestKind::Db, random);
    return {keys.Keybag(), keys.WrapWithClass(BackupKeys::kManifestClass, random.Bytes(32))};
}

// An encrypted backup as an unlock-less reader sees it: a Manifest.db of random bytes and stored
// files no one can read. The records are listed for the report only.
std::vector<RecordReport> WriteEncryptedBackup(const fs::path& folder, Random& random) {
    static constexpr std::pair<const char*, const char*> kFiles[] = {
        {"CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.HEIC"},
        {"CameraRollDomain", "Media/DCIM/100APPLE/IMG_0002.JPG"},
        {"CameraRollDomain", "Media/DCIM/100APPLE/IMG_0003.MOV"},
        {"MediaDomain", "Media/PhotoStreamsData/2718/100APPLE/IMG_0101.HEIC"},
        {"HomeDomain", "Library/SMS/sms.db"},
    };
    std::string manifest = random.Bytes(16384);
    manifest[0] = 'X';  // never the SQLite header, however the draw falls
    WriteFile(folder / "Manifest.db", manifest);
    std::vector<RecordReport> records;
    for (const auto& [domain, path] : kFiles) {
        RecordReport& record = records.emplace_back();
        record.domain = domain;
        record.path = path;
        record.storedName = StoredNameOf(record.domain, record.path);
        record.mode = 0100644;
        record.size = random.Between(512, 4096);
        record.content = Content::Other;
        record.trap = Trap::EncryptedContent;
        record.storedFileExists = true;
        record.readable = false;
        std::string bytes = random.Bytes(static_cast<std::size_t>(record.size));
        bytes[0] = 'X';  // no picture signature by chance
        const fs::path file = folder / record.storedName.substr(0, 2) / record.storedName;
        fs::create_directories(file.parent_path());
        WriteFile(file, bytes);
    }
    return records;
}

void AddRecords(const BackupPlan& plan, const SampleOptions& options, BackupWriter& writer,
                MediaMaker& maker, bool firstFull) {
    switch (plan.catalogue) {
        case CatalogueKind::Full:
            AddFullCatalogue(writer, maker, firstFull && options.preset == SamplePreset::Full);
            break;
        case CatalogueKind::Core:
            AddCoreCatalogue(writer, maker);
            break;
        case CatalogueKind::Heic:
            AddHeicCatalogue(writer, maker);
            break;
        case CatalogueKind::Encrypted:
            break;
        case CatalogueKind::Large: {
            const std::size_t photos = options.largePhotos;
            AddLargeCatalogue(writer, maker, std::max(options.largeFiles, photos), photos);
            break;
        }
    }
    if (plan.cutManifest) {
        // The cut falls inside this last record; every record before it stays readable.
        writer.AddFile("CameraRollDomain", "Media/DCIM/100APPLE/IMG_9999.JPG",
                       maker.Jpeg(640, 480));
    }
}

}  // namespace

SampleReport GenerateSampleRoot(const SampleOptions& options) {
    const std::vector<BackupPlan> plans = PlanBackups(options);
    PrepareOutputFolder(options.out);
    WriteMarker(options.out, plans);

    SampleReport report;
    report.root = options.out;
    report.seed = options.seed;
    MediaMaker maker(options.seed, options.preset);
    ContentCache cache;
    std::map<std::size_t, BackupWriter> twins;
    for (std::size_t i = 0; i < plans.size(); ++i) {
        const BackupPlan& plan = plans[i];
        BackupReport& backupReport = report.backups.emplace_back();
        backupReport.folderName = plan.folderName;
        backupReport.folder = options.out / plan.folderName;
        backupReport.manifest = plan.manifest;
        backupReport.sameFilesAs = plan.sameFilesAs;
        Random random = Random::Derived(options.seed, 1000 + i);
        WriteInfoPlist(plan, random, backupReport);
        if (plan.catalogue == CatalogueKind::Encrypted) {
            backupReport.encrypted = true;
            WriteManifestPlist(plan, backupReport.folder, true, LockedKeys(random));
            backupReport.records = WriteEncryptedBackup(backupReport.folder, random);
            continue;
        }
        if (!plan.encrypt && plan.manifest == ManifestKind::Db) {
            WriteManifestPlist(plan, backupReport.folder, false, UnusedKeys(random));
        }
        // A copy of an earlier backup's records, or a writer of its own.
        const auto twin = twins.find(i);
        std::optional<BackupWriter> own;
        if (twin == twins.end()) {
            own.emplace(backupReport.folder, random.Next(), cache, plan.manifest);
            AddRecords(plan, options, *own, maker, i == 0);
            for (std::size_t later = i + 1; later < plans.size(); ++later) {
                if (plans[later].sameFilesAs == i) {
                    twins.emplace(later, own->Twin(options.out / plans[later].folderName,
                                                   plans[later].manifest));
                }
            }
        }
        BackupWriter& writer = own ? *own : twin->second;
        if (plan.encrypt) {
            backupReport.encrypted = true;
            backupReport.encryption = options.encryption;
            WriteManifestPlist(plan, backupReport.folder, true,
                               writer.Encrypt(options.encryption, random.Next()));
        }
        backupReport.manifestTruncated = plan.cutManifest;
        backupReport.records = writer.Finish(plan.cutManifest);
        if (!own) {
            twins.erase(twin);
        }
    }
    return report;
}

std::string_view InfoPlistFormName(InfoPlistForm form) {
    // In the order of InfoPlistForm.
    static constexpr std::string_view kNames[] = {"xml", "binary", "missing", "corrupt"};
    const auto index = static_cast<std::size_t>(form);
    return index < std::size(kNames) ? kNames[index] : "unknown";
}

}  // namespace pixhaven::samplegen
