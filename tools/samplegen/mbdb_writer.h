// Writes Manifest.mbdb files: the test suites' and the sample generator's way to make manifests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pixhaven::samplegen {

struct MbdbEntry {
    std::optional<std::string> domain;
    std::optional<std::string> path;
    std::optional<std::string> linkTarget;
    std::optional<std::string> dataHash;  // raw digest bytes
    std::optional<std::string> encryptionKey;
    std::uint16_t mode = 0100644;
    std::uint64_t inode = 0;
    std::uint32_t userId = 501;
    std::uint32_t groupId = 501;
    std::uint32_t modified = 0;
    std::uint32_t accessed = 0;
    std::uint32_t created = 0;
    std::uint64_t size = 0;
    std::uint8_t protectionClass = 0;
    std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>> properties;
};

// The header "mbdb" with the given version bytes.
std::string MbdbHeader(std::uint8_t major = 5, std::uint8_t minor = 0);
// Appends one record in file order; strings longer than 0xFFFE bytes are not representable.
void AppendMbdbRecord(std::string& out, const MbdbEntry& entry);
std::string EncodeMbdb(const std::vector<MbdbEntry>& entries);
void WriteMbdb(const std::filesystem::path& file, const std::vector<MbdbEntry>& entries);

}  // namespace pixhaven::samplegen
