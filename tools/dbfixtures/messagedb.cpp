#include "tools/dbfixtures/messagedb.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/dbfixtures/dbfixtures.h"
#include "tools/dbfixtures/randomvalues.h"

namespace pixhaven::dbfixtures {
namespace {

constexpr int kPageSize = 4096;
// Half of the addresses in messages and calls belong to a person of the generated AddressBook.
constexpr int kAddressPool = 1000;
constexpr int kRowsPerSizeCheck = 2048;

struct Finalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

Statement Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        throw std::runtime_error(std::string(sqlite3_errmsg(db)) + " in: " + sql);
    }
    return Statement(raw);
}

void StepOnce(sqlite3* db, sqlite3_stmt* statement) {
    if (sqlite3_step(statement) != SQLITE_DONE) {
        throw std::runtime_error(sqlite3_errmsg(db));
    }
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
}

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
}

void BindBlob(sqlite3_stmt* statement, int index, const std::string& bytes) {
    sqlite3_bind_blob(statement, index, bytes.data(), static_cast<int>(bytes.size()),
                      SQLITE_TRANSIENT);
}

// The phone number of pool entry `index`, written as the device stores a canonical address.
std::string PhoneNumber(int index) {
    const int local = (index * 7919 + 1234) % 10'000'000;
    std::string digits = std::to_string(local);
    return "+1555" + std::string(7 - digits.size(), '0') + digits;
}

std::string PoolAddress(Random& random) {
    return PhoneNumber(Uniform(random, 0, 2 * kAddressPool - 1));
}

// Short chat: mostly a few words, sometimes a long message, now and then non-ASCII text.
std::string MessageText(Random& random) {
    static constexpr std::array<const char*, 48> kWords = {
        "ok",       "see",     "you",   "at",      "the",   "station", "tonight", "thanks",
        "running",  "late",    "call",  "me",      "when",  "free",    "dinner",  "is",
        "ready",    "love",    "it",    "did",     "get",   "my",      "message", "yes",
        "no",       "maybe",   "later", "meeting", "moved", "to",      "3pm",     "happy",
        "birthday", "where",   "are",   "we",      "going", "picked",  "up",      "kids",
        "train",    "delayed", "again", "lol",     "sure",  "sounds",  "good",    "tomorrow"};
    static constexpr std::array<const char*, 4> kOther = {
        "\xE5\xA5\xBD\xE7\x9A\x84", "\xF0\x9F\x98\x80", "caf\xC3\xA9", "\xD0\xB4\xD0\xB0"};
    const int words = Chance(random, 10) ? Uniform(random, 20, 60) : Uniform(random, 1, 14);
    std::string text;
    for (int i = 0; i < words; ++i) {
        if (i > 0) {
            text += ' ';
        }
        text += Chance(random, 3) ? kOther[static_cast<std::size_t>(Uniform(random, 0, 3))]
                                  : kWords[static_cast<std::size_t>(Uniform(random, 0, 47))];
    }
    text[0] = static_cast<char>(text[0] >= 'a' && text[0] <= 'z' ? text[0] - 32 : text[0]);
    return text;
}

void AppendLength(std::string& bytes, std::size_t length) {
    if (length < 128) {
        bytes += static_cast<char>(length);
    } else {
        bytes += '\x81';
        bytes += static_cast<char>(length & 0xFF);
        bytes += static_cast<char>((length >> 8) & 0xFF);
    }
}

using BindRow = std::function<void(sqlite3_stmt*, Random&, std::int64_t)>;

struct Layout {
    const char* schema;
    const char* table;
    const char* insert;
    BindRow bindRow;
    std::function<void(Database&, Random&)> prepare;  // rows of the other tables
};

std::int64_t PageCount(sqlite3* db) {
    const Statement statement = Prepare(db, "PRAGMA page_count");
    return sqlite3_step(statement.get()) == SQLITE_ROW ? sqlite3_column_int64(statement.get(), 0)
                                                       : 0;
}

// Inserts rows until the file reaches `targetBytes`, then deletes `deletedRows` of them chosen
// uniformly over the rowids, all in one transaction.
GeneratedDatabase Generate(const std::filesystem::path& path, const Layout& layout,
                           std::uint64_t targetBytes, std::int64_t deletedRows,
                           std::uint32_t seed) {
    Random random(seed);
    Database db = CreateFromSchema(path, layout.schema, kPageSize);
    sqlite3* handle = db.handle();
    db.Exec("PRAGMA synchronous = OFF; PRAGMA journal_mode = MEMORY; PRAGMA cache_size = -65536;");
    db.Exec("BEGIN");
    if (layout.prepare) {
        layout.prepare(db, random);
    }
    const Statement insert = Prepare(handle, layout.insert);
    const auto targetPages = static_cast<std::int64_t>(targetBytes / kPageSize);
    std::int64_t rows = 0;
    while (rows % kRowsPerSizeCheck != 0 || PageCount(handle) < targetPages) {
        layout.bindRow(insert.get(), random, rows);
        StepOnce(handle, insert.get());
        ++rows;
    }

    GeneratedDatabase result{rows, std::min(deletedRows, rows)};
    std::vector<std::int64_t> rowids(static_cast<std::size_t>(rows));
    std::iota(rowids.begin(), rowids.end(), std::int64_t{1});
    for (std::int64_t i = 0; i < result.deletedRows; ++i) {
        const auto pick = std::uniform_int_distribution<std::int64_t>(i, rows - 1)(random);
        std::swap(rowids[static_cast<std::size_t>(i)], rowids[static_cast<std::size_t>(pick)]);
    }
    rowids.resize(static_cast<std::size_t>(result.deletedRows));
    std::sort(rowids.begin(), rowids.end());
    const Statement remove =
        Prepare(handle, ("DELETE FROM " + std::string(layout.table) + " WHERE ROWID = ?1").c_str());
    for (const std::int64_t rowid : rowids) {
        sqlite3_bind_int64(remove.get(), 1, rowid);
        StepOnce(handle, remove.get());
    }
    db.Exec("COMMIT");
    return result;
}

void AddHandles(Database& db, Random& /*random*/) {
    const Statement insert =
        Prepare(db.handle(), "INSERT INTO handle (id, country, service) VALUES (?1, 'us', ?2)");
    for (int i = 0; i < 2 * kAddressPool; ++i) {
        BindText(insert.get(), 1, PhoneNumber(i));
        BindText(insert.get(), 2, i % 3 == 0 ? "iMessage" : "SMS");
        StepOnce(db.handle(), insert.get());
    }
}

void BindIos6Message(sqlite3_stmt* s, Random& random, std::int64_t index) {
    const std::string text = MessageText(random);
    const bool fromMe = Chance(random, 45);
    const bool imessage = Chance(random, 35);
    const std::int64_t date = 370'000'000 + index * 40 + Uniform(random, 0, 39);
    BindText(s, 1, RandomGuid(random));
    BindText(s, 2, text);
    sqlite3_bind_int(s, 3, 0);                                     // replace
    sqlite3_bind_int(s, 4, Uniform(random, 1, 2 * kAddressPool));  // handle_id
    BindText(s, 5, "us");                                          // country
    BindBlob(s, 6, AttributedBody(text));
    sqlite3_bind_int(s, 7, 10);  // version
    BindText(s, 8, imessage ? "iMessage" : "SMS");
    BindText(s, 9, imessage ? "e:owner@example.com" : "p:+15555550100");
    BindText(s, 10, "A8B5D1E2-3C4F-4A6B-9D8E-7F6A5B4C3D2E");
    sqlite3_bind_int64(s, 11, date);
    sqlite3_bind_int64(s, 12, fromMe ? 0 : date + Uniform(random, 5, 3600));  // date_read
    sqlite3_bind_int64(s, 13, fromMe && imessage ? date + 2 : 0);             // date_delivered
    sqlite3_bind_int(s, 14, fromMe ? 1 : 0);                                  // is_delivered
    sqlite3_bind_int(s, 15, fromMe ? 1 : 0);                                  // is_from_me
    sqlite3_bind_int(s, 16, fromMe ? 0 : 1);                                  // is_read
    sqlite3_bind_int(s, 17, fromMe ? 1 : 0);                                  // is_sent
    sqlite3_bind_int(s, 18, Chance(random, 10) ? 1 : 0);                      // has_dd_results
}

void BindIos5Message(sqlite3_stmt* s, Random& random, std::int64_t index) {
    const bool fromMe = Chance(random, 45);
    BindText(s, 1, PoolAddress(random));
    sqlite3_bind_int64(s, 2, 1'320'000'000 + index * 40 + Uniform(random, 0, 39));
    BindText(s, 3, MessageText(random));
    sqlite3_bind_int(s, 4, fromMe ? 3 : 2);           // flags
    sqlite3_bind_int(s, 5, Uniform(random, 1, 300));  // group_id
    BindText(s, 6, "us");
}

void BindCall(sqlite3_stmt* s, Random& random, std::int64_t index) {
    const std::string address = PoolAddress(random);
    const bool missed = Chance(random, 15);
    BindText(s, 1, address);
    sqlite3_bind_int64(s, 2, 1'320'000'000 + index * 300 + Uniform(random, 0, 299));
    sqlite3_bind_int(s, 3, missed ? 0 : Uniform(random, 5, 3600));  // duration
    sqlite3_bind_int(s, 4, missed || Chance(random, 50) ? 4 : 5);   // flags: incoming, outgoing
    sqlite3_bind_int(s, 5, -1);                                     // id
    BindText(s, 6, address);                                        // originalAddress
}

const Layout& LayoutOf(GeneratedKind kind) {
    static const Layout kIos6{
        "ios6-sms.sql", "message",
        "INSERT INTO message (guid, text, replace, handle_id, country, attributedBody, version, "
        "service, account, account_guid, date, date_read, date_delivered, is_delivered, "
        "is_finished, is_from_me, is_read, is_sent, has_dd_results, was_data_detected) VALUES (?1, "
        "?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, 1, ?15, ?16, ?17, ?18, 1)",
        BindIos6Message, AddHandles};
    static const Layout kIos5{
        "ios5-sms-upgraded.sql", "message",
        "INSERT INTO message (address, date, text, flags, replace, svc_center, group_id, "
        "association_id, height, UIFlags, version, country, read, is_madrid, madrid_date_read, "
        "madrid_date_delivered) VALUES (?1, ?2, ?3, ?4, 0, NULL, ?5, 0, 0, 0, 0, ?6, 1, 0, 0, 0)",
        BindIos5Message, nullptr};
    static const Layout kCalls{
        "call-history.sql", "call",
        "INSERT INTO call (address, date, duration, flags, id, country_code, network_code, read, "
        "assisted, originalAddress) VALUES (?1, ?2, ?3, ?4, ?5, '310', '410', 1, 1, ?6)",
        BindCall, nullptr};
    // In the order of GeneratedKind.
    static const Layout* const kLayouts[] = {&kIos6, &kIos5, &kCalls};
    return *kLayouts[static_cast<int>(kind)];
}

const char* KindName(GeneratedKind kind) {
    // In the order of GeneratedKind.
    static constexpr const char* kNames[] = {"ios6-sms", "ios5-sms", "call-history"};
    return kNames[static_cast<int>(kind)];
}

constexpr int kAttachmentEvery = 20;

// One attachment of message `messageId`, as the device names and types them.
void AddAttachment(sqlite3* db, sqlite3_stmt* attachment, sqlite3_stmt* join, Random& random,
                   std::int64_t messageId) {
    const int kind = Uniform(random, 0, 9);
    const char* mimeType = kind < 7 ? "image/jpeg" : kind < 9 ? "image/png" : "video/quicktime";
    const char* uti = kind < 7   ? "public.jpeg"
                      : kind < 9 ? "public.png"
                                 : "com.apple.quicktime-movie";
    const char* extension = kind < 7 ? ".JPG" : kind < 9 ? ".PNG" : ".MOV";
    const std::string guid = RandomGuid(random);
    BindText(attachment, 1, guid);
    sqlite3_bind_int64(attachment, 2, 370'000'000 + messageId * 40);
    BindText(attachment, 3,
             "~/Library/SMS/Attachments/" + guid.substr(0, 2) + "/" + guid.substr(2, 2) + "/" +
                 guid + "/IMG_" + std::to_string(1000 + messageId % 9000) + extension);
    BindText(attachment, 4, uti);
    BindText(attachment, 5, mimeType);
    sqlite3_bind_int(attachment, 6, Chance(random, 45) ? 1 : 0);
    StepOnce(db, attachment);
    sqlite3_bind_int64(join, 1, messageId);
    sqlite3_bind_int64(join, 2, sqlite3_last_insert_rowid(db));
    StepOnce(db, join);
}

}  // namespace

std::string AttributedBody(const std::string& text) {
    using namespace std::string_literals;
    std::string bytes =
        "\x04\x0bstreamtyped\x81\xe8\x03\x84\x01@\x84\x84\x84\x12NSAttributedString\x00\x84\x84"
        "\x08NSObject\x00\x85\x92\x84\x84\x84\x08NSString\x01\x94\x84\x01+"s;
    AppendLength(bytes, text.size());
    bytes += text;
    bytes += "\x86\x84\x02iI\x01"s;
    AppendLength(bytes, text.size());
    bytes +=
        "\x92\x84\x84\x84\x0cNSDictionary\x00\x94\x84\x01i\x01\x92\x84\x96\x96\x1d"
        "__kIMMessagePartAttributeName\x86\x92\x84\x84\x84\x08NSNumber\x00\x84\x84\x07NSValue"
        "\x00\x94\x84\x01*\x84\x99\x99\x00\x86\x86\x86"s;
    return bytes;
}

GeneratedDatabase GenerateIos6MessagesWithAttachments(const std::filesystem::path& path,
                                                      std::int64_t messages, std::uint32_t seed) {
    Random random(seed);
    Database db = CreateFromSchema(path, "ios6-sms.sql", kPageSize);
    sqlite3* handle = db.handle();
    db.Exec("PRAGMA synchronous = OFF; PRAGMA journal_mode = MEMORY; PRAGMA cache_size = -65536;");
    db.Exec("BEGIN");
    AddHandles(db, random);
    const Layout& layout = LayoutOf(GeneratedKind::Ios6Messages);
    const Statement insert = Prepare(handle, layout.insert);
    const Statement attachment =
        Prepare(handle,
                "INSERT INTO attachment (guid, created_date, start_date, filename, uti, mime_type, "
                "transfer_state, is_outgoing) VALUES (?1, ?2, ?2, ?3, ?4, ?5, 5, ?6)");
    const Statement join = Prepare(
        handle, "INSERT INTO message_attachment_join (message_id, attachment_id) VALUES (?1, ?2)");
    for (std::int64_t index = 0; index < messages; ++index) {
        layout.bindRow(insert.get(), random, index);
        StepOnce(handle, insert.get());
        if (Uniform(random, 1, kAttachmentEvery) == 1) {
            AddAttachment(handle, attachment.get(), join.get(), random,
                          sqlite3_last_insert_rowid(handle));
        }
    }
    db.Exec("COMMIT");
    return GeneratedDatabase{messages, 0};
}

std::filesystem::path CachedIos6MessagesWithAttachments(const std::filesystem::path& folder,
                                                        std::int64_t messages, std::uint32_t seed) {
    const std::string name =
        "ios6-sms-attachments-" + std::to_string(messages) + "-" + std::to_string(seed);
    const std::filesystem::path file = folder / (name + ".db");
    if (std::filesystem::exists(file)) {
        return file;
    }
    std::filesystem::create_directories(folder);
    const std::filesystem::path partial = folder / (name + ".partial");
    std::filesystem::remove(partial);  // left by an interrupted run
    GenerateIos6MessagesWithAttachments(partial, messages, seed);
    std::filesystem::rename(partial, file);
    return file;
}

GeneratedDatabase GenerateIos6MessageDatabase(const std::filesystem::path& path,
                                              std::uint64_t targetBytes, std::int64_t deletedRows,
                                              std::uint32_t seed) {
    return Generate(path, LayoutOf(GeneratedKind::Ios6Messages), targetBytes, deletedRows, seed);
}

GeneratedDatabase GenerateIos5MessageDatabase(const std::filesystem::path& path,
                                              std::uint64_t targetBytes, std::int64_t deletedRows,
                                              std::uint32_t seed) {
    return Generate(path, LayoutOf(GeneratedKind::Ios5Messages), targetBytes, deletedRows, seed);
}

GeneratedDatabase GenerateCallHistoryDatabase(const std::filesystem::path& path,
                                              std::uint64_t targetBytes, std::int64_t deletedRows,
                                              std::uint32_t seed) {
    return Generate(path, LayoutOf(GeneratedKind::CallHistory), targetBytes, deletedRows, seed);
}

void GenerateAddressBook(const std::filesystem::path& path, int persons, std::uint32_t seed) {
    static constexpr std::array<const char*, 12> kFirst = {"Anna", "Ben",   "Chloe", "David",
                                                           "Emma", "Felix", "Grace", "Hugo",
                                                           "Ines", "Jonas", "Kira",  "Liam"};
    static constexpr std::array<const char*, 12> kLast = {"Adler", "Berg",    "Costa",  "Dorn",
                                                          "Evans", "Fischer", "Gray",   "Hart",
                                                          "Ito",   "Jansen",  "Keller", "Lund"};
    Random random(seed);
    Database db = CreateFromSchema(path, "addressbook.sql", kPageSize);
    db.Exec("BEGIN");
    const Statement person =
        Prepare(db.handle(),
                "INSERT INTO ABPerson (First, Last, Kind, CreationDate, ModificationDate, "
                "StoreID) VALUES (?1, ?2, 0, ?3, ?3, 0)");
    const Statement value =
        Prepare(db.handle(),
                "INSERT INTO ABMultiValue (record_id, property, identifier, label, value) "
                "VALUES (?1, 3, ?2, ?3, ?4)");
    for (int i = 0; i < persons; ++i) {
        BindText(person.get(), 1, kFirst[static_cast<std::size_t>(Uniform(random, 0, 11))]);
        BindText(person.get(), 2, kLast[static_cast<std::size_t>(Uniform(random, 0, 11))]);
        sqlite3_bind_int64(person.get(), 3, 300'000'000 + Uniform(random, 0, 80'000'000));
        StepOnce(db.handle(), person.get());
        const std::int64_t id = db.LastInsertRowid();
        const int numbers = Chance(random, 25) ? 2 : 1;
        for (int n = 0; n < numbers; ++n) {
            sqlite3_bind_int64(value.get(), 1, id);
            sqlite3_bind_int(value.get(), 2, n);
            sqlite3_bind_int(value.get(), 3, n + 1);
            BindText(value.get(), 4, PhoneNumber(n == 0 ? i % kAddressPool : kAddressPool + i));
            StepOnce(db.handle(), value.get());
        }
    }
    db.Exec("COMMIT");
}

std::filesystem::path CachedDatabase(const std::filesystem::path& folder, GeneratedKind kind,
                                     std::uint64_t targetBytes, std::int64_t deletedRows,
                                     std::uint32_t seed) {
    const std::string name = std::string(KindName(kind)) + "-" + std::to_string(targetBytes) + "-" +
                             std::to_string(deletedRows) + "-" + std::to_string(seed);
    const std::filesystem::path file = folder / (name + ".db");
    if (std::filesystem::exists(file)) {
        return file;
    }
    std::filesystem::create_directories(folder);
    const std::filesystem::path partial = folder / (name + ".partial");
    Generate(partial, LayoutOf(kind), targetBytes, deletedRows, seed);
    std::filesystem::rename(partial, file);
    return file;
}

}  // namespace pixhaven::dbfixtures
