// The info.plist of a sample backup: the device facts a backup list shows, plus the extra keys,
// nested containers and data blobs that real ones carry.
#pragma once

#include <plist/plist.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pixhaven::samplegen {

struct DeviceProfile {
    std::string buildVersion;
    std::string deviceName;
    std::string guid;
    std::string iccid;
    std::string imei;
    std::int64_t lastBackup = 0;  // Unix seconds
    std::string meid;
    std::string phoneNumber;
    std::string productType;
    std::string productVersion;
    std::string serialNumber;
    std::string targetIdentifier;
    std::string targetType;
    std::string itunesVersion;
};

// The fourteen device-fact keys with the text each value has in the XML form, in key order.
std::vector<std::pair<std::string, std::string>> DeviceFactTexts(const DeviceProfile& device);

std::string InfoPlistXml(const DeviceProfile& device);
std::string InfoPlistBinary(const DeviceProfile& device);

// Any property-list tree through libplist's writers, as XML or binary; throws SampleError when
// libplist writes nothing.
std::string EncodePlist(plist_t tree, bool binary);

// "YYYY-MM-DDTHH:MM:SSZ", the text of a property-list <date>.
std::string PlistDateText(std::int64_t unixSeconds);

}  // namespace pixhaven::samplegen
