// Writes the Manifest.db of a modern backup.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pixhaven::samplegen {

struct ManifestDbRow {
    std::string fileID, domain, relativePath;
    int flags = 1;
    std::string file;
};

// Writes a Manifest.db with the real Files table layout (and the Properties table), rows in order,
// creating its folder; throws std::runtime_error on failure.
void WriteManifestDb(const std::filesystem::path& file, const std::vector<ManifestDbRow>& rows);

}  // namespace pixhaven::samplegen
