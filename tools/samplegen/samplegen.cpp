// The sample backup root: which backups it holds, their device facts and info.plist forms, and
// the guard that keeps the generator from writing into a folder it did not make.
#include "tools/samplegen/samplegen.h"

#include <algorithm>
#include <fstream>

#include "backup/sha1.h"
#include "tools/samplegen/backup_writer.h"
#include "tools/samplegen/catalogue.h"
#include "tools/samplegen/info_plist.h"
#include "tools/samplegen/random.h"

namespace pixhaven::samplegen {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kMarkerHeader = "pixhaven-samplegen output folder";

enum class CatalogueKind : std::uint8_t { Full, Core, Large };

struct BackupPlan {
    InfoPlistForm infoPlist;
    const char* deviceName;
    const char* productType;
    const char* productVersion;
    const char* buildVersion;
    CatalogueKind catalogue;
    bool cutManifest = false;
    std::string folderName;
};

BackupPlan Plan(InfoPlistForm infoPlist, const char* deviceName, const char* productType,
                const char* productVersion, const char* buildVersion, CatalogueKind catalogue,
                bool cutManifest = false) {
    return {infoPlist,    deviceName, productType, productVersion,
            buildVersion, catalogue,  cutManifest, std::string()};
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
    };
    if (options.largeFiles > 0 || options.largePhotos > 0) {
        plans.push_back(Plan(InfoPlistForm::Xml, "Benchmark iPhone", "iPhone5,1", "6.1.3", "10B329",
                             CatalogueKind::Large));
    }
    for (std::size_t i = 0; i < plans.size(); ++i) {
        const std::string label =
            "pixhaven sample device " + std::to_string(options.seed) + "/" + std::to_string(i);
        plans[i].folderName = backup::Sha1Hex(label.data(), label.size());
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
    device.lastBackup = 1356998400 + random.Between(0, 365u * 86400u);  // during 2013
    device.meid = Digits(random, 14, kHex, 16);
    device.phoneNumber =
        "+1 (555) 01" + Digits(random, 1, kDecimal, 10) + "-" + Digits(random, 4, kDecimal, 10);
    device.productType = plan.productType;
    device.productVersion = plan.productVersion;
    device.serialNumber = Digits(random, 12, kSerial, 34);
    device.targetIdentifier = plan.folderName;
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

void AddRecords(const BackupPlan& plan, const SampleOptions& options, BackupWriter& writer,
                MediaMaker& maker, bool firstFull) {
    switch (plan.catalogue) {
        case CatalogueKind::Full:
            AddFullCatalogue(writer, maker, firstFull && options.preset == SamplePreset::Full);
            break;
        case CatalogueKind::Core:
            AddCoreCatalogue(writer, maker);
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
    for (std::size_t i = 0; i < plans.size(); ++i) {
        const BackupPlan& plan = plans[i];
        BackupReport& backupReport = report.backups.emplace_back();
        backupReport.folderName = plan.folderName;
        backupReport.folder = options.out / plan.folderName;
        Random random = Random::Derived(options.seed, 1000 + i);
        WriteInfoPlist(plan, random, backupReport);

        BackupWriter writer(backupReport.folder, random.Next(), cache);
        AddRecords(plan, options, writer, maker, i == 0);
        backupReport.manifestTruncated = plan.cutManifest;
        backupReport.records = writer.Finish(plan.cutManifest);
    }
    return report;
}

std::string_view InfoPlistFormName(InfoPlistForm form) {
    switch (form) {
        case InfoPlistForm::Xml:
            return "xml";
        case InfoPlistForm::Binary:
            return "binary";
        case InfoPlistForm::Missing:
            return "missing";
        case InfoPlistForm::Corrupt:
            return "corrupt";
    }
    return "unknown";
}

}  // namespace pixhaven::samplegen
