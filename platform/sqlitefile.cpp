#include "platform/sqlitefile.h"

#include <algorithm>
#include <string>

namespace pixhaven::platform {
namespace {

// A file: URI for SQLite; every byte that is not plainly safe is percent-encoded.
std::string FileUri(const std::filesystem::path& file) {
    const std::u8string utf8 = file.u8string();
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file:";
    for (const char8_t c : utf8) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '/' || c == '.' || c == '-' || c == '_';
        if (safe) {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    // immutable: no locks, no journal or WAL is read or created beside the file.
    return uri + "?mode=ro&immutable=1";
}

}  // namespace

SqliteConnection OpenSqliteReadOnly(const std::filesystem::path& file) {
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_URI;
    if (sqlite3_open_v2(FileUri(file).c_str(), &db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    return SqliteConnection(db);
}

SqliteConnection OpenSqliteImage(std::string image) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    SqliteConnection connection(db);
    // An image has no WAL file beside it: its pages are read as a rollback database's.
    constexpr std::size_t kWriteVersion = 18;
    if (image.size() > kWriteVersion + 1 && image[kWriteVersion] == 2) {
        image[kWriteVersion] = 1;
        image[kWriteVersion + 1] = 1;
    }
    const auto size = static_cast<sqlite3_int64>(image.size());
    auto* copy = static_cast<unsigned char*>(sqlite3_malloc64(image.size() + 1));
    if (copy == nullptr) {
        return nullptr;
    }
    std::copy(image.begin(), image.end(), copy);
    const unsigned flags = SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_READONLY;
    if (sqlite3_deserialize(db, "main", copy, size, size, flags) != SQLITE_OK) {
        return nullptr;  // SQLite frees the copy itself on failure
    }
    return connection;
}

}  // namespace pixhaven::platform
