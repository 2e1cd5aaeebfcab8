// Reads a modern backup's Manifest.db: which stored file holds which device file.
#pragma once

#include <filesystem>
#include <optional>

#include "backup/manifest.h"

namespace pixhaven::backup {

// Reads Manifest.db (table Files: fileID, domain, relativePath, flags, file), read-only, into
// records with layout ByPrefix: stored name = fileID, texts domain/path, facts from `file`.
// Rows whose flags is not 1 carry no content (ManifestRecord::HasContent() false).
// None when the file is not a readable SQLite database or has no Files table.
//
// Records come in rowid order, the table's own order. A row whose fileID is not 40 lower-case
// hexadecimal characters is skipped. A database that turns out damaged part way gives none, not
// the rows before the damage.
std::optional<Manifest> ReadManifestDb(const std::filesystem::path& file);

}  // namespace pixhaven::backup
