// Device databases with deleted rows and the answer key to judge a carver by: for every carving
// mode, the database a long-used phone would hold (rows written and deleted over time, with
// secure_delete off and no vacuum), the rows deleted and the rows still live, and for each deleted
// row whether its bytes still lie in free space.
//
// Survival rule. Each row has an evidence string: the content bytes of a run of its record's
// columns that covers what the carver prints plus a column that tells rows apart (a date or a
// guid), exactly as SQLite stored them. A deleted row survives when its whole evidence string
// occurs inside one stretch of free space of the carved file or of its -wal file: freeblocks, the
// gap between cell pointers and cells, freelist pages, page images that a later WAL frame or
// checkpoint replaced. Bytes of live cells (and of the overflow pages they chain to) never count,
// so a deleted row equal to a live one survives only through its own copy. A row whose evidence
// was partly overwritten, zeroed by a page defragmentation or split across an overflow page does
// not survive and is not held against a carver. An AddressBook person only names the values
// whose record_id is its rowid, a key kept in the cell rather than the record: its evidence starts
// at that key and runs through the record header, so an owner whose key was overwritten (as a
// freeblock header does) counts as one nobody can know.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pixhaven::dbfixtures {

enum class CarvingMode {
    IosContacts,           // AddressBook: ABPerson + ABMultiValue
    Ios5MessagesFresh,     // sms.db, ios5-sms-fresh.sql
    Ios5MessagesUpgraded,  // sms.db, ios5-sms-upgraded.sql
    Ios6Messages,          // sms.db, ios6-sms.sql
    IosCalls,              // call_history.db
    AndroidContacts,       // contacts2.db, table data
    AndroidMessages,       // mmssms.db, table sms
};

inline constexpr std::array kCarvingModes = {
    CarvingMode::IosContacts,    CarvingMode::Ios5MessagesFresh, CarvingMode::Ios5MessagesUpgraded,
    CarvingMode::Ios6Messages,   CarvingMode::IosCalls,          CarvingMode::AndroidContacts,
    CarvingMode::AndroidMessages};

std::string_view ModeName(CarvingMode mode);

struct CarvingScenario {
    std::int64_t firstRowid = 1;  // rowids of the carved table start here (1, 200, past 20,000)
    int pageSize = 4096;
    bool wal = false;  // journal_mode=WAL; the last round of writes stays in the -wal file
    int rows = 300;    // rows of the carved table written over the database's life
    std::uint32_t seed = 1;
};

// "ids 200", "ids 20001, 1 KiB pages", "ids 200, WAL".
std::string ScenarioName(const CarvingScenario& scenario);

// One row of the carved table.
struct TruthRow {
    enum class Role {
        Value,  // prints as a record of its own (a message, a call, a number, an address)
        Name,   // Android contacts: the name row that labels the values of its raw contact
    };
    Role role = Role::Value;
    std::int64_t rowid = 0;
    // What a carver reports, UTF-8, NULL as "": iOS contacts {value}; iOS 5 messages {address,
    // text}; iOS 6 messages {text}; calls {address, flags as a decimal number}; Android contacts
    // {data1}; Android messages {address, body}.
    std::vector<std::string> fields;
    // Contacts: the owner's name as the device shows it in a recovered list (iOS: Last followed
    // by First; Android: the display name of the raw contact), "" for none; `ownerKnown` when the
    // owner is live or its deleted row survives, so that a carver can know it.
    std::string owner;
    bool ownerKnown = false;
    std::int64_t group = 0;  // Android contacts: raw_contact_id
    std::string evidence;    // see the survival rule above
    bool spills = false;     // the record did not fit on its page: part of it is on overflow pages
    bool surviving = false;  // deleted rows only
};

struct CarvingFixture {
    CarvingMode mode{};
    CarvingScenario scenario;
    std::filesystem::path firstPath;       // the AddressBook or contacts2.db
    std::filesystem::path secondPath;      // the message or call database (contacts modes: none)
    std::filesystem::path carvedPath;      // whichever of the two the mode carves
    std::vector<std::uint32_t> rootPages;  // every table and index of the carved file
    std::vector<TruthRow> deleted;         // rows a carver should report (Value and Name roles)
    std::vector<TruthRow> live;
};

// Writes the databases of one mode and scenario into `folder` (created; files of the same names
// are replaced) and works out the answer key. The same scenario gives the same files.
CarvingFixture GenerateCarvingFixture(const std::filesystem::path& folder, CarvingMode mode,
                                      const CarvingScenario& scenario);

}  // namespace pixhaven::dbfixtures
