// Shared set-up of the IphoneSqlitParse tests: AddressBook rows as the device writes them, running
// a parse, splitting its text into lines and checking that the evidence folder is left as it was.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "cellsalvage/iphonesqlitparse.h"
#include "platform/textcodec.h"
#include "tests/support/tempdir.h"
#include "tools/dbfixtures/dbfixtures.h"

namespace ios_test {

namespace fs = std::filesystem;
using namespace pixhaven::dbfixtures;
using namespace pixhaven::test;

// Parse types and iOS layouts as Parse takes them.
constexpr int kContacts = 0;
constexpr int kMessages = 1;
constexpr int kCalls = 2;
constexpr int kIos5 = 2;
constexpr int kIos6 = 3;

// A further connection to a test database; secure_delete is per connection and this SQLite build
// turns it on by default, which would zero the deleted cells.
inline Database Reopen(const fs::path& path) {
    Database db(path);
    db.Exec("PRAGMA secure_delete = OFF;");
    return db;
}

inline std::string Parse(const fs::path& addressBook, const fs::path& recordDb, int type, int os) {
    IphoneSqlitParse parser(pixhaven::platform::PathToUtf16(addressBook),
                            pixhaven::platform::PathToUtf16(recordDb));
    parser.startParse(static_cast<ePaserType>(type), static_cast<eOSType>(os));
    return parser.recoveredText;
}

// The records of a recovered text, each without its "\r\n", sorted.
inline std::vector<std::string> SortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start) + "<no line end>");
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

inline std::vector<std::string> Sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Every file of a folder with its bytes and modification time.
struct FolderState {
    std::map<std::string, std::pair<std::string, fs::file_time_type>> files;
    bool operator==(const FolderState&) const = default;
};

inline FolderState Snapshot(const fs::path& folder) {
    FolderState state;
    for (const auto& entry : fs::directory_iterator(folder)) {
        state.files[entry.path().filename().string()] = {ReadFile(entry.path()),
                                                         fs::last_write_time(entry.path())};
    }
    return state;
}

// A person as the AddressBook stores one: sort keys, creation and modification dates in seconds
// since 2001 (4-byte integers), the default language indexes and no person link.
inline void AddPerson(Database& db, std::int64_t rowid, const std::string& first,
                      const std::string& last) {
    db.Run(
        "INSERT INTO ABPerson (ROWID, First, Last, Kind, FirstSort, LastSort, CreationDate, "
        "ModificationDate, StoreID, FirstSortSection, LastSortSection) "
        "VALUES (?1, ?2, ?3, 0, ?4, ?5, 376000000, 376500000, 0, ?6, ?7)",
        {rowid, first, last, first + " " + last, last + " " + first, first.substr(0, 1),
         last.substr(0, 1)});
}

// A phone number of a person (property 3, first identifier, the "mobile" label).
inline void AddNumber(Database& db, std::int64_t recordId, const std::string& value) {
    db.Run(
        "INSERT INTO ABMultiValue (record_id, property, identifier, label, value) "
        "VALUES (?1, 3, 0, 1, ?2)",
        {recordId, value});
}

inline std::string NumberOf(std::int64_t rowid) {
    return "+1 555 0" + std::to_string(1000 + rowid);
}

// An AddressBook where persons 2..count+1 ("FirstN", "LastN") have one number each.
inline void FillAddressBook(Database& db, int count) {
    for (int rowid = 2; rowid < count + 2; ++rowid) {
        AddPerson(db, rowid, "First" + std::to_string(rowid), "Last" + std::to_string(rowid));
        AddNumber(db, rowid, NumberOf(rowid));
    }
}

// Persons 2..6 with one number each; persons 7 and 8 share one number.
inline void BuildAddressBookWithSharedNumber(const fs::path& path) {
    Database db = CreateFromSchema(path, "addressbook.sql");
    db.Exec("BEGIN");
    FillAddressBook(db, 5);
    AddPerson(db, 7, "Grace", "Hopper");
    AddNumber(db, 7, "+1 555 0777");
    AddPerson(db, 8, "Alan", "Turing");
    AddNumber(db, 8, "+1 555 0777");
    db.Exec("COMMIT");
}

// A fresh folder with BuildAddressBookWithSharedNumber's AddressBook and the path of a record
// database beside it.
struct SharedNumberFolder {
    explicit SharedNumberFolder(const std::string& recordName) : recordDb(dir / recordName) {
        BuildAddressBookWithSharedNumber(addressBook);
    }
    // The parse of the record database with the AddressBook.
    std::string Carve(int type, int os) const { return Parse(addressBook, recordDb, type, os); }

    TempDir dir;
    fs::path addressBook = dir / "AddressBook.sqlitedb";
    fs::path recordDb;
};

// A record database at `path` of the layout `schema` with rows 1..rows written by add(db, n) in
// one transaction.
inline Database FillRecordDb(const fs::path& path, const char* schema, int rows,
                             const std::function<void(Database&, int)>& add) {
    Database db = CreateFromSchema(path, schema);
    db.Exec("BEGIN");
    for (int n = 1; n <= rows; ++n) {
        add(db, n);
    }
    db.Exec("COMMIT");
    return db;
}

// The same, then `deletion` run with secure_delete off.
inline void BuildRecordDb(const fs::path& path, const char* schema, int rows,
                          const std::function<void(Database&, int)>& add,
                          const std::string& deletion) {
    Database db = FillRecordDb(path, schema, rows, add);
    db.Exec("PRAGMA secure_delete = OFF");
    db.Exec(deletion);
}

// iOS 5 message n as the phone writes a received or sent SMS.
inline void AddIos5Message(Database& db, const std::string& address, const std::string& text,
                           int n) {
    db.Run(
        "INSERT INTO message (address, date, text, flags, replace, svc_center, group_id, "
        "association_id, height, UIFlags, version, subject, country, headers, recipients, read, "
        "madrid_flags, is_madrid, madrid_date_read, madrid_date_delivered) "
        "VALUES (?1, ?2, ?3, ?4, 0, NULL, ?5, 0, 0, 0, 0, NULL, 'us', NULL, NULL, 1, 0, 0, 0, 0)",
        {address, std::int64_t{1330000000} + n * 600, text, std::int64_t{2 + n % 2},
         std::int64_t{1 + n % 5}});
}

// A 36-character guid as iOS 6 writes them.
inline std::string Guid(int n, char tag) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%08X-1C2D-4E5F-8A9B-%c%011d", n * 2654435761U, tag, n);
    return buffer;
}

inline void AddIos6Message(Database& db, int n, const std::string& text) {
    // attributedBody is an archived string of a few hundred bytes on the device.
    const std::string body = "streamtyped\x81\xe8\x03\x84\x01@\x84\x84\x84\x12NSAttributedString" +
                             std::string(60, '\x01') + text;
    db.Run(
        "INSERT INTO message (guid, text, replace, handle_id, attributedBody, version, type, "
        "service, account, account_guid, error, date, date_read, date_delivered, is_delivered, "
        "is_finished, is_from_me, is_read, is_sent) VALUES (?1, ?2, 0, ?3, ?4, 10, 0, 'SMS', "
        "'p:+15550100', ?5, 0, ?6, ?7, 0, 1, 1, ?8, 1, ?8)",
        {Guid(n, 'A'), text, std::int64_t{1 + n % 7}, Blob{body}, Guid(1, 'B'),
         std::int64_t{370000000} + n * 90, std::int64_t{370000100} + n * 90, std::int64_t{n % 2}});
}

// Call n as the phone writes it: id -1 (no contact), a duration of at least one second.
inline void AddCall(Database& db, const std::string& address, std::int64_t flags, int n) {
    db.Run(
        "INSERT INTO call (address, date, duration, flags, id, name, country_code, network_code, "
        "read, assisted, face_time_data, originalAddress) "
        "VALUES (?1, ?2, ?3, ?4, -1, NULL, '310', '410', 1, 0, NULL, ?1)",
        {address, std::int64_t{1340000000} + n * 3600, std::int64_t{1 + n % 300}, flags});
}

// Share of deleted rows whose marker still lies in the file that the parse recovered.
struct Share {
    int deleted = 0;
    int surviving = 0;
    int recovered = 0;
};

inline Share MeasureShare(const fs::path& file, const std::vector<std::string>& deletedMarkers,
                          const std::string& recoveredText) {
    const std::string bytes = ReadFile(file);
    Share share;
    for (const std::string& marker : deletedMarkers) {
        ++share.deleted;
        if (bytes.find(marker) == std::string::npos) {
            continue;
        }
        ++share.surviving;
        if (recoveredText.find(marker) != std::string::npos) {
            ++share.recovered;
        }
    }
    return share;
}

inline void PrintShare(const std::string& table, const Share& share) {
    const double percent = share.surviving == 0 ? 0.0 : 100.0 * share.recovered / share.surviving;
    std::cout << "[share] " << table << ": " << share.recovered << " of " << share.surviving
              << " surviving deleted rows recovered (" << percent << "%), " << share.deleted
              << " deleted\n";
}

}  // namespace ios_test
