#include "cellsalvage/iphonesqlitparse.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "cellsalvage/knownlayouts.h"
#include "cellsalvage/sqlquery.h"
#include "cellsalvage/tablecarver.h"

namespace {

constexpr const char* kMultiValueRootSql =
    "SELECT rootpage from sqlite_master where type=\"table\" and name=\"ABMultiValue\"";
constexpr const char* kNamesByRecordIdSql =
    "select Last,First ,record_id from ABMultiValue,ABPerson where ABMultiValue.record_id = "
    "ABPerson.ROWID";
constexpr const char* kPersonRootSql =
    "SELECT rootpage from sqlite_master where type=\"table\" and name=\"ABPerson\"";
constexpr const char* kMultiValueLayoutSql = "SELECT * from ABMultiValue";
constexpr const char* kPersonLayoutSql = "SELECT * from ABPerson";
constexpr const char* kNamesByValueSql =
    "select Last,First ,value from ABMultiValue,ABPerson where ABMultiValue.record_id = "
    "ABPerson.ROWID";
constexpr const char* kMessageRootSql =
    "SELECT rootpage from sqlite_master where type=\"table\" and name=\"message\"";
constexpr const char* kMessageLayoutSql = "SELECT * from message";
constexpr const char* kCallRootSql =
    "SELECT rootpage from sqlite_master where type=\"table\" and name=\"call\"";
constexpr const char* kCallLayoutSql = "SELECT * from call";
constexpr const char* kLivePersonsSql = "SELECT ROWID, Last, First FROM ABPerson";

// Points a connection member at a read-only connection for the length of an Init step; the
// member is cleared and the connection closed when the step returns, whichever way it returns.
class ConnectionLease {
public:
    ConnectionLease(sqlite3*& member, const std::u16string& path)
        : member_(member), connection_(cellsalvage::OpenReadOnly(path)) {
        member_ = connection_.get();
    }
    ~ConnectionLease() { member_ = nullptr; }
    ConnectionLease(const ConnectionLease&) = delete;
    ConnectionLease& operator=(const ConnectionLease&) = delete;

    bool isOpen() const { return connection_ != nullptr; }

private:
    sqlite3*& member_;
    cellsalvage::Connection connection_;
};

// Rows of a names statement: (column 0 + column 1, column 2), NULL read as "".
bool ReadContactNames(sqlite3* db, const char* sql,
                      std::vector<std::pair<std::string, std::string>>& names) {
    return cellsalvage::ForEachRow(db, sql, [&](sqlite3_stmt* statement) {
        names.emplace_back(
            cellsalvage::ColumnText(statement, 0) + cellsalvage::ColumnText(statement, 1),
            cellsalvage::ColumnText(statement, 2));
    });
}

// A layout read from the database when there is one; `known` for a table whose own layout
// cannot be read. True when `known` was taken.
bool UseKnownLayout(cellsalvage::TableSchema& schema, const char* known) {
    if (!schema.columns.empty()) {
        return false;
    }
    schema = cellsalvage::ParseLayout(schema.table, known, true);
    return true;
}

std::string DirectionWord(const std::string& flags) {
    if (!flags.empty() && flags[0] == 4) {
        return "Incoming";
    }
    if (!flags.empty() && flags[0] == 5) {
        return "Outgoing";
    }
    return "N/A";
}

}  // namespace

IphoneSqlitParse::IphoneSqlitParse(const std::u16string& addressBook,
                                   const std::u16string& recordDb)
    : addressBookPath(addressBook), recordDbPath(recordDb) {}

IphoneSqlitParse::IphoneSqlitParse(const std::string& name) : label(name) {}

IphoneSqlitParse::~IphoneSqlitParse() = default;

void IphoneSqlitParse::startParse(ePaserType type, eOSType os) {
    if (os == OS_NONE) {
        return;
    }
    carving = std::make_unique<cellsalvage::CarvingSession>();
    switch (type) {
        case PARSE_CONTACTS: {
            if (!InitContacDbquarryFile()) {
                return;
            }
            if (carving->Open(addressBookPath)) {
                parseContactABMultiValueFreelistCell(recordIdColumn, valueColumn,
                                                     multiValueColumnCount);
                parseContactABMultiValueUnassignedArea(recordIdColumn, valueColumn,
                                                       multiValueColumnCount);
                parseContactABPersonFreelistCell(rowidColumn, firstColumn, lastColumn,
                                                 personColumnCount);
                parseContactABPersonUnassignedArea(rowidColumn, firstColumn, lastColumn,
                                                   personColumnCount);
            }
            saveContactRecover2File();
            break;
        }
        case PARSE_MESSAGES: {
            if (!InitSmsDbquarryFile()) {
                return;
            }
            const bool ios5 = os == OS_IOS5_EARLY || os == OS_IOS5;
            if (UseKnownLayout(carving->schemas[0], ios5 ? cellsalvage::layouts::kIos5Message
                                                         : cellsalvage::layouts::kIos6Message)) {
                messageColumnCount = static_cast<int>(carving->schemas[0].columns.size());
                addressColumn = std::max(carving->schemas[0].IndexOf("address"), 0);
                textColumn = std::max(carving->schemas[0].IndexOf("text"), 0);
            }
            if (carving->Open(recordDbPath)) {
                if (ios5) {
                    parseSmsFreelistCell(addressColumn, textColumn, messageColumnCount);
                    parseSmsUnassignedArea(addressColumn, textColumn, messageColumnCount);
                } else {
                    const int& text = textColumn;
                    const int& count = messageColumnCount;
                    parseSmsFreelistCell(text, count);
                    parseSmsUnassignedArea(text, count);
                }
            }
            saveSmsRecover2File(os);
            break;
        }
        case PARSE_CALL_HISTORY: {
            if (!InitCallHistoryDbFile()) {
                return;
            }
            if (carving->Open(recordDbPath)) {
                parseCallHistoryFreelistCell(addressColumn, flagsColumn, callColumnCount);
                parseCallHistoryUnassignedArea(addressColumn, flagsColumn, callColumnCount);
            }
            saveCallHistoryRecover2File();
            break;
        }
        default:
            break;
    }
    carving.reset();
}

// ---- Init steps ----

bool IphoneSqlitParse::InitContacDbquarryFile() {
    if (!cellsalvage::FileExists(addressBookPath)) {
        return false;
    }
    const ConnectionLease addressBook(addressBookHandle, addressBookPath);
    if (!addressBook.isOpen() ||
        !cellsalvage::ReadRootPage(addressBookHandle, kMultiValueRootSql, rootPage) ||
        !ReadContactNames(addressBookHandle, kNamesByRecordIdSql, contactNames) ||
        !cellsalvage::ReadRootPage(addressBookHandle, kPersonRootSql, secondRootPage)) {
        return false;
    }
    const cellsalvage::TableLayout multiValue = cellsalvage::ReadTableLayout(
        addressBookHandle, kMultiValueLayoutSql, {"record_id", "value"});
    multiValueColumnCount = multiValue.columnCount;
    recordIdColumn = multiValue.indices[0];
    valueColumn = multiValue.indices[1];
    const cellsalvage::TableLayout person = cellsalvage::ReadTableLayout(
        addressBookHandle, kPersonLayoutSql, {"ROWID", "First", "Last"});
    personColumnCount = person.columnCount;
    rowidColumn = person.indices[0];
    firstColumn = person.indices[1];
    lastColumn = person.indices[2];
    cellsalvage::ForEachRow(addressBookHandle, kLivePersonsSql, [&](sqlite3_stmt* row) {
        livePersons.emplace_back(cellsalvage::ColumnText(row, 0),
                                 cellsalvage::ColumnText(row, 1) + cellsalvage::ColumnText(row, 2));
    });
    carving->schemas = {cellsalvage::ReadTableSchema(addressBookHandle, "ABMultiValue",
                                                     cellsalvage::layouts::kAddressBookMultiValue),
                        cellsalvage::ReadTableSchema(addressBookHandle, "ABPerson",
                                                     cellsalvage::layouts::kAddressBookPerson)};
    return true;
}

bool IphoneSqlitParse::InitSmsDbquarryFile() {
    return readNamesAndRecordTable(kMessageRootSql, kMessageLayoutSql, "message", "text",
                                   messageColumnCount, textColumn);
}

bool IphoneSqlitParse::InitCallHistoryDbFile() {
    if (!readNamesAndRecordTable(kCallRootSql, kCallLayoutSql, "call", "flags", callColumnCount,
                                 flagsColumn)) {
        return false;
    }
    if (UseKnownLayout(carving->schemas[0], cellsalvage::layouts::kCall)) {
        callColumnCount = static_cast<int>(carving->schemas[0].columns.size());
        addressColumn = std::max(carving->schemas[0].IndexOf("address"), 0);
        flagsColumn = std::max(carving->schemas[0].IndexOf("flags"), 0);
    }
    return true;
}

bool IphoneSqlitParse::readNamesAndRecordTable(const char* rootSql, const char* layoutSql,
                                               const char* table, const char* secondColumn,
                                               int& columnCount, int& secondIndex) {
    if (!cellsalvage::FileExists(addressBookPath) || !cellsalvage::FileExists(recordDbPath)) {
        return false;
    }
    const ConnectionLease addressBook(addressBookHandle, addressBookPath);
    const ConnectionLease record(recordDbHandle, recordDbPath);
    if (!addressBook.isOpen() || !record.isOpen() ||
        !ReadContactNames(addressBookHandle, kNamesByValueSql, contactNames) ||
        !cellsalvage::ReadRootPage(recordDbHandle, rootSql, rootPage)) {
        return false;
    }
    const cellsalvage::TableLayout layout =
        cellsalvage::ReadTableLayout(recordDbHandle, layoutSql, {"address", secondColumn});
    columnCount = layout.columnCount;
    addressColumn = layout.indices[0];
    secondIndex = layout.indices[1];
    // The known layout stands in only where the table exists but its layout cannot be read.
    carving->schemas = {cellsalvage::ReadTableSchema(recordDbHandle, table, "")};
    return true;
}

// ---- carvers ----
// Each table is carved in two steps: the free space of its leaf pages, then the pages the file
// no longer uses (freelist, replaced images in the write-ahead log); the records of both reach the
// table's rows together, once stale copies of live rows are gone.

void IphoneSqlitParse::parseContactABMultiValueFreelistCell(const int& recordIdIndex,
                                                            const int& valueIndex,
                                                            const int& /*columnCount*/) {
    cellsalvage::StartCarving(carving.get(), 0, {recordIdIndex, valueIndex}, rootPage);
}

void IphoneSqlitParse::parseContactABMultiValueUnassignedArea(const int& recordIdIndex,
                                                              const int& valueIndex,
                                                              const int& /*columnCount*/) {
    cellsalvage::AppendCarvedRows(carving.get(), recoveredMultiValues,
                                  [&](const cellsalvage::CarvedRecord& record) {
                                      return Pair{cellsalvage::ColumnNumber(record, recordIdIndex),
                                                  cellsalvage::ColumnBytes(record, valueIndex)};
                                  });
}

void IphoneSqlitParse::parseContactABPersonFreelistCell(const int& /*rowidIndex*/,
                                                        const int& firstIndex, const int& lastIndex,
                                                        const int& /*columnCount*/) {
    cellsalvage::StartCarving(carving.get(), 1, {firstIndex, lastIndex}, secondRootPage);
}

void IphoneSqlitParse::parseContactABPersonUnassignedArea(const int& /*rowidIndex*/,
                                                          const int& firstIndex,
                                                          const int& lastIndex,
                                                          const int& /*columnCount*/) {
    // The person's identifier is the cell's rowid key, known only when it survived.
    cellsalvage::AppendCarvedRows(
        carving.get(), recoveredPersons, [&](const cellsalvage::CarvedRecord& record) {
            return Triple{record.rowid ? std::to_string(*record.rowid) : std::string(),
                          cellsalvage::ColumnBytes(record, firstIndex),
                          cellsalvage::ColumnBytes(record, lastIndex)};
        });
}

void IphoneSqlitParse::parseSmsFreelistCell(int& addressIndex, int& textIndex,
                                            int& /*columnCount*/) {
    cellsalvage::StartCarving(carving.get(), 0, {addressIndex, textIndex}, rootPage);
}

void IphoneSqlitParse::parseSmsUnassignedArea(const int& addressIndex, const int& textIndex,
                                              const int& /*columnCount*/) {
    cellsalvage::AppendCarvedRows(carving.get(), recoveredMessages,
                                  [&](const cellsalvage::CarvedRecord& record) {
                                      return Pair{cellsalvage::ColumnBytes(record, addressIndex),
                                                  cellsalvage::ColumnBytes(record, textIndex)};
                                  });
}

void IphoneSqlitParse::parseSmsFreelistCell(const int& textIndex, const int& /*columnCount*/) {
    cellsalvage::StartCarving(carving.get(), 0, {textIndex}, rootPage);
}

void IphoneSqlitParse::parseSmsUnassignedArea(const int& textIndex, const int& /*columnCount*/) {
    cellsalvage::AppendCarvedRows(carving.get(), recoveredMessageTexts,
                                  [&](const cellsalvage::CarvedRecord& record) {
                                      return cellsalvage::ColumnBytes(record, textIndex);
                                  });
}

void IphoneSqlitParse::parseCallHistoryFreelistCell(const int& addressIndex, const int& flagsIndex,
                                                    const int& /*columnCount*/) {
    cellsalvage::StartCarving(carving.get(), 0, {addressIndex, flagsIndex}, rootPage);
}

void IphoneSqlitParse::parseCallHistoryUnassignedArea(const int& addressIndex,
                                                      const int& flagsIndex,
                                                      const int& /*columnCount*/) {
    cellsalvage::AppendCarvedRows(carving.get(), recoveredCalls,
                                  [&](const cellsalvage::CarvedRecord& record) {
                                      return Pair{cellsalvage::ColumnBytes(record, addressIndex),
                                                  cellsalvage::ColumnBytes(record, flagsIndex)};
                                  });
}

// ---- save steps ----

void IphoneSqlitParse::saveContactRecover2File() {
    recoveredText.clear();
    for (const auto& [recordId, value] : recoveredMultiValues) {
        const std::string valueText = utf8ToAnsi(value);
        for (const std::string& name : ownerNames(recordId)) {
            recoveredText += name + "\t" + valueText + "\r\n";
        }
    }
}

std::vector<std::string> IphoneSqlitParse::ownerNames(const std::string& recordId) const {
    std::vector<std::string> names;
    if (recordId.empty()) {
        return {"N/A"};
    }
    for (const auto& [name, key] : contactNames) {
        if (key == recordId) {
            names.push_back(utf8ToAnsi(name));
        }
    }
    if (!names.empty()) {
        return names;
    }
    for (const auto& [rowid, name] : livePersons) {
        if (rowid == recordId) {
            return {utf8ToAnsi(name)};
        }
    }
    for (const auto& [rowid, first, last] : recoveredPersons) {
        if (rowid == recordId) {
            return {utf8ToAnsi(last) + utf8ToAnsi(first)};
        }
    }
    return {"N/A"};
}

void IphoneSqlitParse::saveSmsRecover2File(eOSType os) {
    recoveredText.clear();
    if (os == OS_IOS6) {
        for (const std::string& text : recoveredMessageTexts) {
            recoveredText += utf8ToAnsi(text) + "\r\n";
        }
        return;
    }
    if (os != OS_IOS5_EARLY && os != OS_IOS5) {
        return;
    }
    for (const auto& [address, text] : recoveredMessages) {
        const std::string textAnsi = utf8ToAnsi(text);
        bool named = false;
        for (const auto& [name, key] : contactNames) {
            if (key == address) {
                recoveredText +=
                    utf8ToAnsi(name) + "-" + utf8ToAnsi(key) + "\t" + textAnsi + "\r\n";
                named = true;
            }
        }
        if (!named) {
            recoveredText += "N/A-" + (address.empty() ? std::string("N/A") : utf8ToAnsi(address)) +
                             "\t" + (text.empty() ? std::string("N/A") : textAnsi) + "\r\n";
        }
    }
}

void IphoneSqlitParse::saveCallHistoryRecover2File() {
    recoveredText.clear();
    for (const auto& [address, flags] : recoveredCalls) {
        const std::string addressText = utf8ToAnsi(address);
        bool named = false;
        for (const auto& [name, key] : contactNames) {
            if (key == address) {
                recoveredText += utf8ToAnsi(name) + "-" + addressText + "\t";
                named = true;
            }
        }
        if (!named) {
            recoveredText += "N/A-" + addressText + "\t";
        }
        recoveredText += DirectionWord(flags) + "\r\n";
    }
}
