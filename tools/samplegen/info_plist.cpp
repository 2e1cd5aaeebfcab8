// Builds info.plist trees with libplist and writes them as XML or binary property lists.
#include "tools/samplegen/info_plist.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <memory>

#include "tools/samplegen/samplegen.h"

namespace pixhaven::samplegen {
namespace {

// Seconds from 1970-01-01 to 2001-01-01, the property-list epoch.
constexpr std::int64_t kPlistEpoch = 978307200;

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistNode = std::unique_ptr<void, PlistDeleter>;

void SetString(plist_t dict, const char* key, const std::string& value) {
    plist_dict_set_item(dict, key, plist_new_string(value.c_str()));
}

void SetData(plist_t dict, const char* key, const std::string& bytes) {
    plist_dict_set_item(dict, key, plist_new_data(bytes.data(), bytes.size()));
}

// Installed applications as a real backup lists them: an array of identifiers, and a dictionary
// of per-application dictionaries holding opaque data.
void AddApplications(plist_t root) {
    static constexpr const char* kApps[] = {"com.example.voicenotes", "com.example.photoframe",
                                            "org.example.chat"};
    plist_t installed = plist_new_array();
    plist_t applications = plist_new_dict();
    for (const char* app : kApps) {
        plist_array_append_item(installed, plist_new_string(app));
        plist_t entry = plist_new_dict();
        SetData(entry, "iTunesMetadata", std::string("bplist00\xd1\x01\x02", 11));
        SetString(entry, "ApplicationSINF", "");
        plist_dict_set_item(entry, "PlaceholderIcon", plist_new_bool(0));
        plist_dict_set_item(applications, app, entry);
    }
    plist_dict_set_item(root, "Applications", applications);
    plist_dict_set_item(root, "Installed Applications", installed);
}

void AddItunesSettings(plist_t root) {
    plist_t files = plist_new_dict();
    SetData(files, "IC-Info.sidv", std::string("\x00\x01\x02\x03sidv\xff\xfe", 10));
    SetData(files, "VoiceMemos.plist", "<plist/>");
    plist_dict_set_item(root, "iTunes Files", files);

    plist_t settings = plist_new_dict();
    plist_t syncs = plist_new_array();
    plist_array_append_item(syncs, plist_new_uint(3));
    plist_array_append_item(syncs, plist_new_real(1.5));
    plist_dict_set_item(settings, "LibraryApplications", syncs);
    plist_dict_set_item(root, "iTunes Settings", settings);
}

PlistNode BuildTree(const DeviceProfile& d) {
    PlistNode root(plist_new_dict());
    plist_t dict = root.get();
    AddApplications(dict);
    SetString(dict, "Build Version", d.buildVersion);
    SetString(dict, "Device Name", d.deviceName);
    SetString(dict, "Display Name", d.deviceName);
    SetString(dict, "GUID", d.guid);
    SetString(dict, "ICCID", d.iccid);
    SetString(dict, "IMEI", d.imei);
    plist_dict_set_item(dict, "Last Backup Date",
                        plist_new_date(static_cast<std::int32_t>(d.lastBackup - kPlistEpoch), 0));
    SetString(dict, "MEID", d.meid);
    SetString(dict, "Phone Number", d.phoneNumber);
    SetString(dict, "Product Name", "iPhone");
    SetString(dict, "Product Type", d.productType);
    SetString(dict, "Product Version", d.productVersion);
    SetString(dict, "Serial Number", d.serialNumber);
    SetString(dict, "Target Identifier", d.targetIdentifier);
    SetString(dict, "Target Type", d.targetType);
    std::string unique = d.targetIdentifier;
    for (char& c : unique) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    SetString(dict, "Unique Identifier", unique);
    SetData(dict, "iBooks Data 2", std::string("bplist00\xa0\x08\x00", 11));
    AddItunesSettings(dict);
    SetString(dict, "iTunes Version", d.itunesVersion);
    return root;
}

}  // namespace

std::string PlistDateText(std::int64_t unixSeconds) {
    using namespace std::chrono;
    const sys_seconds time{seconds{unixSeconds}};
    const auto day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{time - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

std::vector<std::pair<std::string, std::string>> DeviceFactTexts(const DeviceProfile& d) {
    return {{"Build Version", d.buildVersion},
            {"Device Name", d.deviceName},
            {"GUID", d.guid},
            {"ICCID", d.iccid},
            {"IMEI", d.imei},
            {"Last Backup Date", PlistDateText(d.lastBackup)},
            {"MEID", d.meid},
            {"Phone Number", d.phoneNumber},
            {"Product Type", d.productType},
            {"Product Version", d.productVersion},
            {"Serial Number", d.serialNumber},
            {"Target Identifier", d.targetIdentifier},
            {"Target Type", d.targetType},
            {"iTunes Version", d.itunesVersion}};
}

std::string InfoPlistXml(const DeviceProfile& device) {
    return EncodePlist(BuildTree(device).get(), false);
}

std::string InfoPlistBinary(const DeviceProfile& device) {
    return EncodePlist(BuildTree(device).get(), true);
}

std::string EncodePlist(plist_t tree, bool binary) {
    char* written = nullptr;
    std::uint32_t length = 0;
    if (binary) {
        plist_to_bin(tree, &written, &length);
    } else {
        plist_to_xml(tree, &written, &length);
    }
    if (written == nullptr) {
        throw SampleError(std::string("libplist could not write the ") +
                          (binary ? "binary" : "XML") + " property list");
    }
    std::string bytes(written, length);
    if (binary) {
        plist_to_bin_free(written);
    } else {
        plist_to_xml_free(written);
    }
    return bytes;
}

}  // namespace pixhaven::samplegen
