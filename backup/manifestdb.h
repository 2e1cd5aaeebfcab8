// Reads a modern backup's Manifest.db: which stored file holds which device file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

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
//
// The Files table's pages are read directly when the file is an ordinary rollback-journal UTF-8
// database with the five columns in order; anything else, and any page that reader cannot take,
// is read through SQLite. Damage that only SQLite's own checks see (free-space bookkeeping, for
// instance) does not stop the direct reader: the rows are all there, so they are read.
std::optional<Manifest> ReadManifestDb(const std::filesystem::path& file);

// The same from a database image in memory (a decrypted Manifest.db), through SQLite.
std::optional<Manifest> ReadManifestDbFromMemory(std::string image);

// The same read through SQLite alone, in one pass: what ReadManifestDb falls back to, and the
// reference the direct page reader is held to.
std::optional<Manifest> ReadManifestDbWithSqlite(const std::filesystem::path& file);

}  // namespace pixhaven::backup
