// Domains and paths shaped like a real device's, with the spread of lengths a real one has, for
// the generated manifests of the benchmarks.
#pragma once

#include <iterator>
#include <random>
#include <span>
#include <string>

namespace pixhaven::bench {

struct DevicePath {
    const char* domain;
    std::string path;
};

// Draws three numbers from `random`: domain, ending, folder, the order in which the benchmarks'
// files were first made, so their data stays the same.
inline DevicePath RandomDevicePath(std::mt19937& random, int index,
                                   std::span<const char* const> endings) {
    static const char* const kDomains[] = {
        "CameraRollDomain", "MediaDomain",
        "HomeDomain",       "AppDomain-com.example.notes",
        "KeychainDomain",   "AppDomainGroup-group.com.example.shared"};
    static const char* const kFolders[] = {
        "Media/DCIM/100APPLE/IMG_", "Library/SMS/Attachments/4f/",
        "Library/Caches/com.example.cache/fsCachedData/",
        "Media/PhotoStreamsData/1234567/100APPLE/IMG_", "Documents/Inbox/"};
    DevicePath made;
    made.domain = kDomains[random() % std::size(kDomains)];
    const char* ending = endings[random() % endings.size()];
    made.path = std::string(kFolders[random() % std::size(kFolders)]) + std::to_string(index);
    made.path += ending;
    return made;
}

}  // namespace pixhaven::bench
