#include "tools/dbfixtures/carvingdb.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <tuple>
#include <utility>

#include "tools/dbfixtures/carvingrows.h"
#include "tools/dbfixtures/dbfixtures.h"
#include "tools/dbfixtures/freespace.h"

namespace pixhaven::dbfixtures {
namespace {

namespace fs = std::filesystem;
using carving::kRounds;
using carving::PlannedRow;

struct Finalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

Statement Prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        throw std::runtime_error(std::string(sqlite3_errmsg(db)) + " in: " + sql);
    }
    return Statement(raw);
}

std::vector<std::uint32_t> RootPages(sqlite3* db) {
    const Statement statement =
        Prepare(db, "SELECT rootpage FROM sqlite_master WHERE rootpage > 0");
    std::vector<std::uint32_t> pages;
    while (sqlite3_step(statement.get()) == SQLITE_ROW) {
        pages.push_back(static_cast<std::uint32_t>(sqlite3_column_int64(statement.get(), 0)));
    }
    return pages;
}

// ---- records as SQLite stores them ----

std::size_t VarintLength(std::uint64_t value) {
    std::size_t length = 1;
    while (value > 0x7F && length < 9) {
        value >>= 7;
        ++length;
    }
    return length;
}

std::string VarintBytes(std::uint64_t value) {
    std::string bytes(VarintLength(value), '\0');
    for (std::size_t i = bytes.size(); i-- > 0;) {
        bytes[i] = static_cast<char>((value & 0x7F) | (i + 1 < bytes.size() ? 0x80 : 0));
        value >>= 7;
    }
    return bytes;
}

// The content bytes of an integer and its serial type (file format 4: 0 and 1 take no bytes).
std::string IntegerContent(std::int64_t value, std::uint64_t& serialType) {
    if (value == 0 || value == 1) {
        serialType = value == 0 ? 8 : 9;
        return {};
    }
    static constexpr std::array<std::pair<int, std::uint64_t>, 6> kSizes = {
        {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {6, 5}, {8, 6}}};
    for (const auto& [bytes, type] : kSizes) {
        const int bits = 8 * bytes - 1;
        if (bytes == 8 ||
            (value >= -(std::int64_t{1} << bits) && value < (std::int64_t{1} << bits))) {
            serialType = type;
            std::string content;
            for (int i = bytes - 1; i >= 0; --i) {
                content += static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF);
            }
            return content;
        }
    }
    return {};
}

// Reads rows of one table back as SQLite stored them: the content bytes of each column and the
// payload size, for the evidence string and the overflow test. With `keyed`, the evidence starts
// at the cell's rowid and runs through the record header: rows that tell whose other rows are
// (persons) can be known only while their key survives.
class StoredRows {
public:
    StoredRows(sqlite3* db, const std::string& table, const std::string& firstColumn,
               const std::string& lastColumn, int pageSize, bool keyed)
        : select_(Prepare(db, "SELECT * FROM " + table + " WHERE ROWID = ?1")),
          mostLocal_(static_cast<std::uint64_t>(pageSize) - 35),
          keyed_(keyed) {
        const int columns = sqlite3_column_count(select_.get());
        for (int i = 0; i < columns; ++i) {
            const std::string name = sqlite3_column_name(select_.get(), i);
            if (name == firstColumn) {
                first_ = i;
            }
            if (name == lastColumn) {
                last_ = i;
            }
        }
        if (first_ < 0 || last_ < first_) {
            throw std::runtime_error("no columns " + firstColumn + ".." + lastColumn + " in " +
                                     table);
        }
    }

    // Fills the evidence string and the overflow flag of row `rowid`.
    void Read(std::int64_t rowid, TruthRow& row) {
        sqlite3_stmt* s = select_.get();
        sqlite3_reset(s);
        sqlite3_bind_int64(s, 1, rowid);
        if (sqlite3_step(s) != SQLITE_ROW) {
            throw std::runtime_error("row " + std::to_string(rowid) + " was not written");
        }
        std::uint64_t header = 0;
        std::uint64_t content = 0;
        std::string types;
        row.evidence.clear();
        for (int i = 0; i < sqlite3_column_count(s); ++i) {
            std::uint64_t type = 0;
            std::string bytes;
            // Column 0 of every carved table is the rowid alias, stored as NULL.
            const int kind = i == 0 ? SQLITE_NULL : sqlite3_column_type(s, i);
            if (kind == SQLITE_INTEGER) {
                bytes = IntegerContent(sqlite3_column_int64(s, i), type);
            } else if (kind == SQLITE_FLOAT) {
                const double value = sqlite3_column_double(s, i);
                std::uint64_t bits = 0;
                std::memcpy(&bits, &value, sizeof bits);
                for (int b = 7; b >= 0; --b) {
                    bytes += static_cast<char>((bits >> (8 * b)) & 0xFF);
                }
                type = 7;
            } else if (kind == SQLITE_TEXT || kind == SQLITE_BLOB) {
                const auto* data = static_cast<const char*>(sqlite3_column_blob(s, i));
                bytes.assign(data != nullptr ? data : "",
                             static_cast<std::size_t>(sqlite3_column_bytes(s, i)));
                type = bytes.size() * 2 + (kind == SQLITE_TEXT ? 13 : 12);
            }
            header += VarintLength(type);
            types += VarintBytes(type);
            content += bytes.size();
            if (i >= first_ && i <= last_) {
                row.evidence += bytes;
            }
        }
        sqlite3_reset(s);  // an unfinished read would block a checkpoint
        header += VarintLength(header + 1) == 1 ? 1 : VarintLength(header + 2);
        row.spills = header + content > mostLocal_;
        // Keyed evidence needs the values before `first` to be none (the rowid alias).
        if (keyed_) {
            row.evidence = VarintBytes(static_cast<std::uint64_t>(rowid)) + VarintBytes(header) +
                           types + row.evidence;
        }
    }

private:
    Statement select_;
    std::uint64_t mostLocal_;
    int first_ = -1;
    int last_ = -1;
    bool keyed_;
};

// ---- the life of a database ----

// A database being written: WAL mode keeps the last round in the -wal file.
class Writer {
public:
    Writer(const fs::path& path, const char* schema, int pageSize, bool wal)
        : db_(CreateFromSchema(path, schema, pageSize)), wal_(wal) {
        if (wal_) {
            db_.Exec("PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0;");
            sqlite3_db_config(db_.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        }
        rootPages_ = RootPages(db_.handle());
    }

    Database& db() { return db_; }
    const std::vector<std::uint32_t>& rootPages() const { return rootPages_; }

    void AddTable(const std::string& table, const std::string& first, const std::string& last,
                  int pageSize) {
        stored_.emplace(
            table, StoredRows(db_.handle(), table, first, last, pageSize, table == "ABPerson"));
    }

    void Run(std::vector<PlannedRow>& rows, Random& random) {
        for (int round = 0; round < kRounds; ++round) {
            db_.Exec("BEGIN");
            for (PlannedRow& row : rows) {
                if (row.round == round) {
                    db_.Run(row.insertSql, row.values);
                    stored_.at(row.table).Read(row.truth.rowid, row.truth);
                }
            }
            db_.Exec("COMMIT");
            DeleteRound(rows, round, random);
            if (wal_ && round == kRounds - 2) {
                db_.Exec("PRAGMA wal_checkpoint(TRUNCATE);");
            }
        }
        stored_.clear();
    }

private:
    // Runs go in rowid order, as one statement deletes them; single rows in any order.
    void DeleteRound(const std::vector<PlannedRow>& rows, int round, Random& random) {
        std::vector<const PlannedRow*> runs;
        std::vector<const PlannedRow*> singles;
        for (const PlannedRow& row : rows) {
            if (row.deletedIn == round) {
                (row.inRun ? runs : singles).push_back(&row);
            }
        }
        std::shuffle(singles.begin(), singles.end(), random);
        db_.Exec("BEGIN");
        for (const auto* group : {&runs, &singles}) {
            for (const PlannedRow* row : *group) {
                db_.Run("DELETE FROM " + row->table + " WHERE ROWID = ?1", {row->truth.rowid});
            }
        }
        db_.Exec("COMMIT");
    }

    Database db_;
    bool wal_;
    std::vector<std::uint32_t> rootPages_;
    std::map<std::string, StoredRows> stored_;
};

// Judges every planned row of the carved file and splits the reported ones into the answer key.
void SettleTruth(CarvingFixture& fixture, std::vector<PlannedRow>& rows) {
    const FileSpace space(fixture.carvedPath, fixture.rootPages);
    for (PlannedRow& row : rows) {
        row.truth.surviving = row.deletedIn >= 0 && space.FoundInFreeSpace(row.truth.evidence);
    }
    for (PlannedRow& row : rows) {
        if (row.ownerRow >= 0) {
            const PlannedRow& owner = rows[static_cast<std::size_t>(row.ownerRow)];
            row.truth.ownerKnown = owner.deletedIn < 0 || owner.truth.surviving;
        }
        if (row.reported) {
            (row.deletedIn >= 0 ? fixture.deleted : fixture.live).push_back(row.truth);
        }
    }
}

// ---- one mode ----

struct ModeLayout {
    const char* schema;
    const char* carvedName;  // file name of the carved database
    std::vector<std::tuple<const char*, const char*, const char*>> tables;  // table, evidence span
};

ModeLayout LayoutOf(CarvingMode mode) {
    switch (mode) {
        case CarvingMode::IosContacts:
            return {"addressbook.sql",
                    "AddressBook.sqlitedb",
                    {{"ABPerson", "First", "ModificationDate"},
                     {"ABMultiValue", "record_id", "value"}}};
        case CarvingMode::Ios5MessagesFresh:
            return {"ios5-sms-fresh.sql", "sms.db", {{"message", "address", "text"}}};
        case CarvingMode::Ios5MessagesUpgraded:
            return {"ios5-sms-upgraded.sql", "sms.db", {{"message", "address", "text"}}};
        case CarvingMode::Ios6Messages:
            return {"ios6-sms.sql", "sms.db", {{"message", "guid", "text"}}};
        case CarvingMode::IosCalls:
            return {"call-history.sql", "call_history.db", {{"call", "address", "flags"}}};
        case CarvingMode::AndroidContacts:
            return {"android-contacts2.sql", "contacts2.db", {{"data", "raw_contact_id", "data1"}}};
        case CarvingMode::AndroidMessages:
            break;
    }
    return {"android-mmssms.sql", "mmssms.db", {{"sms", "address", "body"}}};
}

bool IsAndroid(CarvingMode mode) {
    return mode == CarvingMode::AndroidContacts || mode == CarvingMode::AndroidMessages;
}

}  // namespace

std::string_view ModeName(CarvingMode mode) {
    // In the order of CarvingMode.
    static constexpr std::array<std::string_view, kCarvingModes.size()> kNames = {
        "ios-contacts", "ios5-sms-fresh",   "ios5-sms-upgraded", "ios6-sms",
        "ios-calls",    "android-contacts", "android-sms"};
    return kNames[static_cast<std::size_t>(mode)];
}

std::string ScenarioName(const CarvingScenario& scenario) {
    std::string name = "ids " + std::to_string(scenario.firstRowid);
    if (scenario.pageSize != 4096) {
        name += ", " + std::to_string(scenario.pageSize / 1024) + " KiB pages";
    }
    if (scenario.wal) {
        name += ", WAL";
    }
    return name;
}

CarvingFixture GenerateCarvingFixture(const fs::path& folder, CarvingMode mode,
                                      const CarvingScenario& scenario) {
    fs::create_directories(folder);
    Random random(scenario.seed * 7919U + static_cast<std::uint32_t>(mode) * 104'729U +
                  static_cast<std::uint32_t>(scenario.firstRowid));
    const ModeLayout layout = LayoutOf(mode);
    CarvingFixture fixture;
    fixture.mode = mode;
    fixture.scenario = scenario;
    fixture.carvedPath = folder / layout.carvedName;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        fs::path stale = fixture.carvedPath;
        stale += suffix;
        fs::remove(stale);
    }
    if (mode == CarvingMode::IosContacts || mode == CarvingMode::AndroidContacts) {
        fixture.firstPath = fixture.carvedPath;
    } else if (IsAndroid(mode)) {
        fixture.firstPath = folder / "contacts2.db";
        fixture.secondPath = fixture.carvedPath;
        carving::WriteNamesContacts(fixture.firstPath, random);
    } else {
        fixture.firstPath = folder / "AddressBook.sqlitedb";
        fixture.secondPath = fixture.carvedPath;
        carving::WriteNamesAddressBook(fixture.firstPath, random);
    }

    std::vector<PlannedRow> rows = carving::PlanRows(mode, scenario, random);
    {
        Writer writer(fixture.carvedPath, layout.schema, scenario.pageSize, scenario.wal);
        carving::WriteCompanions(mode, writer.db());
        for (const auto& [table, first, last] : layout.tables) {
            writer.AddTable(table, first, last, scenario.pageSize);
        }
        writer.Run(rows, random);
        fixture.rootPages = writer.rootPages();
    }
    SettleTruth(fixture, rows);
    return fixture;
}

}  // namespace pixhaven::dbfixtures
