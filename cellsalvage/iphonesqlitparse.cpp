#include "cellsalvage/iphonesqlitparse.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "cellsalvage/sqlquery.h"
#include "cellsalvage/stalecopies.h"

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

// A text type as one raw byte, the way the signatures test single bytes.
bool IsTextByte(unsigned char byte) {
    return byte >= 13 && (byte & 1) == 1;
}

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

// The identifier of a person carved from an unassigned area: its little-endian bytes up to the
// first zero byte, at most four.
std::string IdentifierBytes(std::uint32_t identifier) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<char>((identifier >> (8 * i)) & 0xFFU);
        if (byte == 0) {
            break;
        }
        bytes += byte;
    }
    return bytes;
}

// The low 8 bits of a key read as a decimal integer the way atoi reads it (leading blanks, a
// sign, digits, stopping at anything else); values past the integer range are clamped.
unsigned LowByteOfNumber(const std::string& key) {
    const long long value = std::strtoll(key.c_str(), nullptr, 10);
    return static_cast<unsigned>(value & 0xFF);
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
    switch (type) {
        case PARSE_CONTACTS: {
            if (!InitContacDbquarryFile()) {
                return;
            }
            readPageSize(addressBookPath);
            if (openDbStream(addressBookPath)) {
                loadTable(rootPage);
                parseContactABMultiValueFreelistCell(recordIdColumn, valueColumn,
                                                     multiValueColumnCount);
                parseContactABMultiValueUnassignedArea(recordIdColumn, valueColumn,
                                                       multiValueColumnCount);
                clearPageLists();
                loadTable(secondRootPage);
                parseContactABPersonFreelistCell(rowidColumn, firstColumn, lastColumn,
                                                 personColumnCount);
                parseContactABPersonUnassignedArea(rowidColumn, firstColumn, lastColumn,
                                                   personColumnCount);
            }
            dropStaleCopies(type, os);
            saveContactRecover2File();
            return;
        }
        case PARSE_MESSAGES: {
            if (!InitSmsDbquarryFile()) {
                return;
            }
            readPageSize(recordDbPath);
            if (openDbStream(recordDbPath)) {
                loadTable(rootPage);
                if (os == OS_IOS5_EARLY || os == OS_IOS5) {
                    // The freeblock carver rewrites the three members; the unassigned-area
                    // carver assumes the layout SQL reported.
                    const int learntAddress = addressColumn;
                    const int learntText = textColumn;
                    const int learntCount = messageColumnCount;
                    parseSmsFreelistCell(addressColumn, textColumn, messageColumnCount);
                    parseSmsUnassignedArea(learntAddress, learntText, learntCount);
                } else {
                    const int& text = textColumn;
                    const int& count = messageColumnCount;
                    parseSmsFreelistCell(text, count);
                    parseSmsUnassignedArea(text, count);
                }
            }
            dropStaleCopies(type, os);
            saveSmsRecover2File(os);
            return;
        }
        case PARSE_CALL_HISTORY: {
            if (!InitCallHistoryDbFile()) {
                return;
            }
            readPageSize(recordDbPath);
            if (openDbStream(recordDbPath)) {
                loadTable(rootPage);
                parseCallHistoryFreelistCell(addressColumn, flagsColumn, callColumnCount);
                parseCallHistoryUnassignedArea(addressColumn, flagsColumn, callColumnCount);
            }
            dropStaleCopies(type, os);
            saveCallHistoryRecover2File();
            return;
        }
        default:
            return;
    }
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
    return true;
}

bool IphoneSqlitParse::InitSmsDbquarryFile() {
    return readNamesAndRecordTable(kMessageRootSql, kMessageLayoutSql, "text", messageColumnCount,
                                   textColumn);
}

bool IphoneSqlitParse::InitCallHistoryDbFile() {
    return readNamesAndRecordTable(kCallRootSql, kCallLayoutSql, "flags", callColumnCount,
                                   flagsColumn);
}

bool IphoneSqlitParse::readNamesAndRecordTable(const char* rootSql, const char* layoutSql,
                                               const char* secondColumn, int& columnCount,
                                               int& secondIndex) {
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
    return true;
}

// ---- signature helpers ----

bool IphoneSqlitParse::readSerialType(const Scratch& scratch, std::size_t position,
                                      std::uint32_t& type, std::size_t& used) {
    // A varint takes at most 9 bytes; the padding keeps reads near the area's end inside.
    if (position > scratch.bytes.size() || scratch.bytes.size() - position < 9) {
        return false;
    }
    used = static_cast<std::size_t>(std::max(getVarint32(scratch.data() + position, type), 1));
    return true;
}

unsigned char IphoneSqlitParse::byteAt(const Scratch& scratch, std::size_t position) {
    return position < scratch.bytes.size() ? scratch.bytes[position] : 0;
}

bool IphoneSqlitParse::matchesSignature(const Scratch& scratch, std::size_t position,
                                        std::span<const SignatureStep> steps) {
    for (const SignatureStep& step : steps) {
        std::uint32_t type = 0;
        std::size_t used = 0;
        position += step.skipBefore;
        if (!readSerialType(scratch, position, type, used) || !step.matches(type)) {
            return false;
        }
        position += used;
    }
    return true;
}

// ---- freeblock carvers ----

void IphoneSqlitParse::parseContactABMultiValueFreelistCell(const int& recordIdIndex,
                                                            const int& valueIndex,
                                                            const int& columnCount) {
    if (columnCount < 2) {
        return;
    }
    WalkRules rules;
    rules.zeroLengthFiveToTwelve = true;
    std::vector<WantedColumn> wanted(2);
    forEachFreeblock([&](const Scratch& scratch) {
        // The freeblock header overwrote the cell's first 4 bytes, up to the NULL type of UID.
        carveMergedRecords(scratch, 0, columnCount, 4, false,
                           [&](std::size_t position) -> std::optional<std::size_t> {
                               wanted[0].index = recordIdIndex - 1;
                               wanted[1].index = valueIndex - 1;
                               return keepRecord(scratch, position, columnCount - 1, wanted,
                                                 recoveredMultiValues, rules);
                           });
    });
}

void IphoneSqlitParse::parseContactABPersonFreelistCell(const int& rowidIndex,
                                                        const int& firstIndex, const int& lastIndex,
                                                        const int& columnCount) {
    if (columnCount < 2) {
        return;
    }
    WalkRules rules;
    rules.zeroLengthFiveToTwelve = true;
    std::vector<WantedColumn> wanted(3);
    forEachFreeblock([&](const Scratch& scratch) {
        // A first byte this large is the record-header size, not a serial type.
        const std::size_t first = scratch.bytes[0] >= columnCount ? 1 : 0;
        carveMergedRecords(scratch, first, columnCount, 4, false,
                           [&](std::size_t position) -> std::optional<std::size_t> {
                               wanted[0].index = rowidIndex - 1;
                               wanted[1].index = firstIndex - 1;
                               wanted[2].index = lastIndex - 1;
                               return keepRecord(scratch, position, columnCount - 1, wanted,
                                                 recoveredPersons, rules);
                           });
    });
}

void IphoneSqlitParse::parseSmsFreelistCell(int& addressIndex, int& textIndex, int& columnCount) {
    const int learntAddress = addressIndex;
    const int learntText = textIndex;
    const int learntCount = columnCount;
    // Byte 0 is the NULL type of ROWID (the walk starts at column 0); a text type means ROWID's
    // type was overwritten and the walk starts at the address; anything else keeps the last call.
    const auto applyFirstByteRule = [&](unsigned char first) {
        if (first == 0) {
            addressIndex = learntAddress;
            textIndex = learntText;
            columnCount = learntCount;
        } else if (IsTextByte(first)) {
            addressIndex = learntAddress - 1;
            textIndex = learntText - 1;
            columnCount = learntCount - 1;
        }
    };
    WalkRules rules;
    rules.zeroLengthFiveToTwelve = true;
    std::vector<WantedColumn> wanted(2);
    forEachFreeblock([&](const Scratch& scratch) {
        carveMergedRecords(scratch, 0, learntCount, 4, false,
                           [&](std::size_t position) -> std::optional<std::size_t> {
                               applyFirstByteRule(scratch.bytes[position]);
                               if (columnCount < 1) {
                                   return std::nullopt;
                               }
                               wanted[0].index = addressIndex;
                               wanted[1].index = textIndex;
                               return keepRecord(scratch, position, columnCount, wanted,
                                                 recoveredMessages, rules);
                           });
    });
}

void IphoneSqlitParse::parseSmsFreelistCell(const int& textIndex, const int& columnCount) {
    if (columnCount < 1) {
        return;
    }
    WalkRules rules;
    rules.zeroLengthFiveToTwelve = true;
    std::vector<WantedColumn> wanted(1);
    forEachFreeblock([&](const Scratch& scratch) {
        const std::size_t first = scratch.bytes[0] < 40 ? 0 : 1;
        carveMergedRecords(scratch, first, columnCount, 5, false,
                           [&](std::size_t position) -> std::optional<std::size_t> {
                               wanted[0].index = textIndex;
                               return keepRecord(scratch, position, columnCount, wanted,
                                                 recoveredMessageTexts, rules);
                           });
    });
}

void IphoneSqlitParse::parseCallHistoryFreelistCell(const int& addressIndex, const int& flagsIndex,
                                                    const int& columnCount) {
    if (columnCount < 1) {
        return;
    }
    WalkRules rules;
    rules.zeroLengthFiveToTwelve = true;
    rules.zeroLengthColumn = 5;
    std::vector<WantedColumn> wanted(2);
    forEachFreeblock([&](const Scratch& scratch) {
        carveMergedRecords(scratch, 0, columnCount, 4, false,
                           [&](std::size_t position) -> std::optional<std::size_t> {
                               wanted[0].index = addressIndex;
                               wanted[1].index = flagsIndex;
                               return keepRecord(scratch, position, columnCount, wanted,
                                                 recoveredCalls, rules);
                           });
    });
}

// ---- unassigned-area carvers ----

void IphoneSqlitParse::parseContactABMultiValueUnassignedArea(const int& recordIdIndex,
                                                              const int& valueIndex,
                                                              const int& columnCount) {
    if (columnCount < 2) {
        return;
    }
    WalkRules rules;
    rules.zeroLengthFiveToTwelve = true;
    std::vector<WantedColumn> wanted(2);
    forEachUnassignedArea([&](const Scratch& scratch) {
        slideSignature(scratch, scratch.length, [&](std::size_t p) -> std::optional<std::size_t> {
            // record_id and property are integers; identifier and label take a byte each.
            std::uint32_t recordIdType = 0;
            std::uint32_t propertyType = 0;
            std::size_t l1 = 0;
            std::size_t l2 = 0;
            if (!readSerialType(scratch, p, recordIdType, l1) || !isIntegerType(recordIdType) ||
                !readSerialType(scratch, p + l1, propertyType, l2) ||
                !isIntegerType(propertyType) || !IsTextByte(byteAt(scratch, p + l1 + l2 + 2))) {
                return std::nullopt;
            }
            wanted[0].index = recordIdIndex - 1;
            wanted[1].index = valueIndex - 1;
            return keepRecord(scratch, p, columnCount - 1, wanted, recoveredMultiValues, rules);
        });
    });
}

void IphoneSqlitParse::parseContactABPersonUnassignedArea(const int& rowidIndex,
                                                          const int& firstIndex,
                                                          const int& lastIndex,
                                                          const int& columnCount) {
    static_cast<void>(rowidIndex);  // the identifier comes from the cell header, not the record
    if (columnCount < 1) {
        return;
    }
    const auto headerSize = static_cast<std::uint32_t>(columnCount) + 1;
    std::vector<WantedColumn> wanted(2);
    // Form A: rowid, header size, then ROWID's NULL type, a name and the two dates (type 4).
    const auto formA = [&](const Scratch& scratch, std::size_t p, std::uint32_t& identifier,
                           std::size_t& start) {
        std::uint32_t size = 0;
        std::size_t l1 = 0;
        std::size_t l2 = 0;
        if (!readSerialType(scratch, p, identifier, l1) || identifier <= 1 ||
            !readSerialType(scratch, p + l1, size, l2) || size != headerSize) {
            return false;
        }
        const std::size_t q = p + l1 + l2;
        const bool named = IsTextByte(byteAt(scratch, q + 1)) || IsTextByte(byteAt(scratch, q + 2));
        start = q;
        return named && byteAt(scratch, q + 18) == 4 && byteAt(scratch, q + 19) == 4;
    };
    // Form B: a text-typed byte with the dates a little later; the rowid sits just before it.
    const auto formB = [&](const Scratch& scratch, std::size_t p, std::uint32_t& identifier,
                           std::size_t& start) {
        std::uint32_t type = 0;
        std::size_t l1 = 0;
        std::size_t l0 = 0;
        if (p == 0 || !readSerialType(scratch, p, type, l1) || !isTextType(type) ||
            (byteAt(scratch, p + l1 + 17) != 4 && byteAt(scratch, p + l1 + 18) != 4)) {
            return false;
        }
        start = p + l1;
        return readSerialType(scratch, p - 1, identifier, l0);
    };
    const auto keep = [&](const Scratch& scratch, std::size_t start,
                          std::uint32_t identifier) -> std::optional<std::size_t> {
        wanted[0].index = firstIndex;
        wanted[1].index = lastIndex;
        const WalkResult walk =
            walkRecord(scratch, start, scratch.length - start, columnCount, wanted);
        if (walk.end != WalkEnd::Complete) {
            return std::nullopt;
        }
        recoveredPersons.emplace_back(IdentifierBytes(identifier),
                                      columnValue(scratch, walk, wanted[0]),
                                      columnValue(scratch, walk, wanted[1]));
        return walk.extent;
    };
    forEachUnassignedArea([&](const Scratch& scratch) {
        slideSignature(scratch, scratch.length, [&](std::size_t p) -> std::optional<std::size_t> {
            std::uint32_t identifier = 0;
            std::size_t start = 0;
            if (formA(scratch, p, identifier, start) && start < scratch.length) {
                if (const auto extent = keep(scratch, start, identifier)) {
                    return extent;
                }
            }
            if (formB(scratch, p, identifier, start) && start < scratch.length) {
                return keep(scratch, start, identifier);
            }
            return std::nullopt;
        });
    });
}

void IphoneSqlitParse::parseSmsUnassignedArea(const int& addressIndex, const int& textIndex,
                                              const int& columnCount) {
    if (columnCount < 2) {
        return;
    }
    // address, date, text, flags, then replace as a constant.
    static constexpr SignatureStep kShape[] = {{0, isTextType},
                                               {0, isIntegerType},
                                               {0, isTextType},
                                               {0, isIntegerType},
                                               {0, isConstantType}};
    carveSignedRecords(kShape, columnCount - 1, {{addressIndex - 1}, {textIndex - 1}}, {},
                       recoveredMessages);
}

void IphoneSqlitParse::parseSmsUnassignedArea(const int& textIndex, const int& columnCount) {
    if (columnCount < 2) {
        return;
    }
    // guid (a 36-byte text), text, five one-byte types, attributedBody (a blob), four more,
    // account_guid (a text), error, then date (an integer).
    static constexpr SignatureStep kShape[] = {
        {0, [](std::uint32_t t) { return t == 85; }},
        {0, isTextType},
        {5, isBlobType},
        {4, isTextType},
        {1, isIntegerType},
    };
    carveSignedRecords(kShape, columnCount - 1, {{textIndex - 1}}, {}, recoveredMessageTexts);
}

void IphoneSqlitParse::parseCallHistoryUnassignedArea(const int& addressIndex,
                                                      const int& flagsIndex,
                                                      const int& columnCount) {
    if (columnCount < 2) {
        return;
    }
    // address, then date, duration, flags and id as integers.
    static constexpr SignatureStep kShape[] = {{0, isTextType},
                                               {0, isIntegerType},
                                               {0, isIntegerType},
                                               {0, isIntegerType},
                                               {0, isIntegerType}};
    WalkRules rules;
    rules.zeroLengthColumn = 5 - 1;  // table column 5 (id); the walk starts at column 1
    carveSignedRecords(kShape, columnCount - 1, {{addressIndex - 1}, {flagsIndex - 1}}, rules,
                       recoveredCalls);
}

template <typename Row>
void IphoneSqlitParse::carveSignedRecords(std::span<const SignatureStep> signature, int columns,
                                          std::vector<WantedColumn> wanted, const WalkRules& rules,
                                          std::vector<Row>& rows) {
    forEachUnassignedArea([&](const Scratch& scratch) {
        slideSignature(scratch, scratch.length, [&](std::size_t p) -> std::optional<std::size_t> {
            if (!matchesSignature(scratch, p, signature)) {
                return std::nullopt;
            }
            return keepRecord(scratch, p, columns, wanted, rows, rules);
        });
    });
}

// ---- stale copies ----

void IphoneSqlitParse::dropStaleCopies(ePaserType type, eOSType os) {
    using cellsalvage::ValueKind;
    const auto pairValues = [](const Pair& row) {
        return std::vector<std::string>{row.first, row.second};
    };
    if (type == PARSE_CONTACTS) {
        const cellsalvage::Connection db = cellsalvage::OpenReadOnly(addressBookPath);
        if (!db) {
            return;
        }
        cellsalvage::EraseStaleCopies(db.get(), "SELECT record_id, value FROM ABMultiValue",
                                      {ValueKind::Integer, ValueKind::Text}, recoveredMultiValues,
                                      pairValues);
        cellsalvage::EraseStaleCopies(db.get(), "SELECT ROWID, First, Last FROM ABPerson",
                                      {ValueKind::Ignored, ValueKind::Text, ValueKind::Text},
                                      recoveredPersons, [](const Triple& row) {
                                          return std::vector<std::string>{
                                              std::get<0>(row), std::get<1>(row), std::get<2>(row)};
                                      });
        return;
    }
    const cellsalvage::Connection db = cellsalvage::OpenReadOnly(recordDbPath);
    if (!db) {
        return;
    }
    if (type == PARSE_MESSAGES && (os == OS_IOS5_EARLY || os == OS_IOS5)) {
        cellsalvage::EraseStaleCopies(db.get(), "SELECT address, text FROM message",
                                      {ValueKind::Text, ValueKind::Text}, recoveredMessages,
                                      pairValues);
    } else if (type == PARSE_MESSAGES) {
        cellsalvage::EraseStaleCopies(
            db.get(), "SELECT text FROM message", {ValueKind::Text}, recoveredMessageTexts,
            [](const std::string& text) { return std::vector<std::string>{text}; });
    } else if (type == PARSE_CALL_HISTORY) {
        cellsalvage::EraseStaleCopies(db.get(), "SELECT address, flags FROM call",
                                      {ValueKind::Text, ValueKind::Integer}, recoveredCalls,
                                      pairValues);
    }
}

// ---- save steps ----

void IphoneSqlitParse::saveContactRecover2File() {
    recoveredText.clear();
    for (const auto& [recordId, value] : recoveredMultiValues) {
        const std::string valueText = utf8ToAnsi(value);
        bool named = false;
        for (const auto& [identifier, first, last] : recoveredPersons) {
            // A person carved without its identifier cannot be the owner of anything.
            if (!identifier.empty() && identifier == recordId) {
                recoveredText += utf8ToAnsi(last) + utf8ToAnsi(first) + "\t" + valueText + "\r\n";
                named = true;
            }
        }
        if (named) {
            continue;
        }
        const unsigned ownerByte =
            recordId.empty() ? 0U : static_cast<unsigned char>(recordId.front());
        for (const auto& [name, key] : contactNames) {
            if (LowByteOfNumber(key) == ownerByte) {
                recoveredText += utf8ToAnsi(name) + "\t" + valueText + "\r\n";
                named = true;
            }
        }
        if (!named) {
            recoveredText += "N/A\t" + valueText + "\r\n";
        }
    }
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
