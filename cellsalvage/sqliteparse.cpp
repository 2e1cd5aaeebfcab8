#include "cellsalvage/sqliteparse.h"

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <optional>

#include "cellsalvage/sqlquery.h"
#include "cellsalvage/stalecopies.h"

namespace {

using cellsalvage::ValueKind;

// The first byte of a freeblock below this is a serial type; from it on, a record-header size.
constexpr int kHeaderSizeThreshold = 7;
// Deleted cells merged into one freeblock: payload length, rowid and header size lie between them.
constexpr std::size_t kMergedCellGap = 4;
// The sms signature spans the bytes p .. p + 11.
constexpr std::size_t kSmsSignatureSpan = 11;

// A signature byte for a column holding NULL or a small integer. Types 8 and 9 (the constants 0
// and 1) count too: SQLite has written them since 2012, and nearly every data and sms row holds a
// 0 or 1 in these columns, so without them the signatures would match no current file.
bool IsNullOrSmallInteger(unsigned char type) {
    return type < 8 || type == 8 || type == 9;
}

bool IsNumber(const std::string& value) {
    return std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Writes the whole text over `name` in the current folder; a file that cannot be created is
// silently not written.
void WriteTextFile(const char* name, const std::string& text) {
    std::ofstream out(name, std::ios::out | std::ios::trunc);
    if (out) {
        out << text;
    }
}

std::string WithoutFirstPlus86(std::string address) {
    if (const std::size_t at = address.find("+86"); at != std::string::npos) {
        address.erase(at, 3);
    }
    return address;
}

}  // namespace

SqliteParse::SqliteParse(const std::u16string& contactsDb, const std::u16string& smsDb)
    : contactsDbPath(contactsDb), smsDbPath(smsDb) {}

SqliteParse::~SqliteParse() = default;

void SqliteParse::startParse(ePaserType type, eOSType os) {
    if (os != OS_NONE) {
        return;
    }
    if (type == PARSE_CONTACTS) {
        if (!InitContacDbquarryFile()) {
            return;
        }
        readPageSize(contactsDbPath);
        openDbStream(contactsDbPath);
        loadTable(rootPage);
        parseContactFreelistCell(rawContactIdColumn, data1Column, dataColumnCount);
        parseContactUnassignedArea(rawContactIdColumn, data1Column, dataColumnCount);
        dropStaleCopies(type);
        saveContactRecover2File({});
    } else if (type == PARSE_MESSAGES) {
        if (!InitSmsDbquarryFile()) {
            return;
        }
        readPageSize(smsDbPath);
        openDbStream(smsDbPath);
        loadTable(rootPage);
        parseSmsFresslistCell(addressColumn, personColumn, bodyColumn, smsColumnCount);
        parseSmsUnassignedArea(addressColumn, personColumn, bodyColumn, smsColumnCount);
        dropStaleCopies(type);
        saveSmsRecover2File({});
    }
}

bool SqliteParse::InitContacDbquarryFile() {
    if (!cellsalvage::FileExists(contactsDbPath)) {
        return false;
    }
    const cellsalvage::Connection contacts = cellsalvage::OpenReadOnly(contactsDbPath);
    if (!contacts) {
        return false;
    }
    if (!cellsalvage::ReadRootPage(
            contacts.get(),
            "SELECT rootpage from sqlite_master where type=\"table\" and name=\"data\"",
            rootPage)) {
        return false;
    }
    const cellsalvage::TableLayout layout = cellsalvage::ReadTableLayout(
        contacts.get(), "SELECT * from data", {"raw_contact_id", "data1"});
    dataColumnCount = layout.columnCount;
    rawContactIdColumn = layout.indices[0];
    data1Column = layout.indices[1];
    return true;
}

bool SqliteParse::InitSmsDbquarryFile() {
    if (!cellsalvage::FileExists(contactsDbPath) || !cellsalvage::FileExists(smsDbPath)) {
        return false;
    }
    const cellsalvage::Connection contacts = cellsalvage::OpenReadOnly(contactsDbPath);
    const cellsalvage::Connection messages = cellsalvage::OpenReadOnly(smsDbPath);
    if (!contacts || !messages) {
        return false;
    }
    const bool namesRead = cellsalvage::ForEachRow(
        contacts.get(), "SELECT raw_contact_id, data1 from data ", [this](sqlite3_stmt* row) {
            contactNames.emplace_back(cellsalvage::ColumnText(row, 0),
                                      cellsalvage::ColumnText(row, 1));
        });
    if (!namesRead) {
        return false;
    }
    if (!cellsalvage::ReadRootPage(
            messages.get(),
            "SELECT rootpage from sqlite_master where type=\"table\" and name=\"sms\"", rootPage)) {
        return false;
    }
    const cellsalvage::TableLayout layout = cellsalvage::ReadTableLayout(
        messages.get(), "SELECT * from sms", {"address", "person", "body"});
    smsColumnCount = layout.columnCount;
    addressColumn = layout.indices[0];
    personColumn = layout.indices[1];
    bodyColumn = layout.indices[2];
    return true;
}

namespace {

// The byte at `position` of the scratch buffer; 0 past its end, so no signature reads outside it.
unsigned char ByteAt(const std::vector<unsigned char>& bytes, std::size_t position) {
    return position < bytes.size() ? bytes[position] : 0;
}

// Where a freeblock's serial types start: its first byte is either a serial type (a small one:
// the NULL of _id or a small integer) or the record-header size of the deleted cell.
std::size_t FreeblockRecordStart(const std::vector<unsigned char>& bytes) {
    return ByteAt(bytes, 0) < kHeaderSizeThreshold ? 0 : 1;
}

}  // namespace

void SqliteParse::parseContactFreelistCell(const int& rawContactIdIndex, const int& data1Index,
                                           const int& columnCount) {
    if (columnCount <= 0) {
        return;
    }
    forEachFreeblock([&](const Scratch& scratch) {
        carveMergedRecords(
            scratch, FreeblockRecordStart(scratch.bytes), columnCount, kMergedCellGap, false,
            [&](std::size_t position) -> std::optional<std::size_t> {
                std::vector<WantedColumn> wanted{{rawContactIdIndex}, {data1Index}};
                return keepRecord(scratch, position, columnCount, wanted, recoveredDataRows);
            });
    });
}

void SqliteParse::parseContactUnassignedArea(const int& rawContactIdIndex, const int& data1Index,
                                             const int& columnCount) {
    if (columnCount <= 0 || data1Index < 0) {
        return;
    }
    const auto data1Offset = static_cast<std::size_t>(data1Index);
    forEachUnassignedArea([&](const Scratch& scratch) {
        const std::size_t stop = scratch.length > data1Offset ? scratch.length - data1Offset : 0;
        slideSignature(scratch, stop, [&](std::size_t p) -> std::optional<std::size_t> {
            for (std::size_t i = 0; i < data1Offset; ++i) {
                if (!IsNullOrSmallInteger(ByteAt(scratch.bytes, p + i))) {
                    return std::nullopt;
                }
            }
            if (!isTextType(ByteAt(scratch.bytes, p + data1Offset))) {
                return std::nullopt;
            }
            std::vector<WantedColumn> wanted{{rawContactIdIndex}, {data1Index}};
            // A record that does not fit in the area was no match: the scan goes on.
            return keepRecord(scratch, p, columnCount, wanted, recoveredDataRows);
        });
    });
}

void SqliteParse::parseSmsFresslistCell(const int& addressIndex, const int& personIndex,
                                        const int& bodyIndex, const int& columnCount) {
    if (columnCount <= 0) {
        return;
    }
    forEachFreeblock([&](const Scratch& scratch) {
        carveMergedRecords(
            scratch, FreeblockRecordStart(scratch.bytes), columnCount, kMergedCellGap, true,
            [&](std::size_t position) -> std::optional<std::size_t> {
                std::vector<WantedColumn> wanted{{addressIndex}, {personIndex}, {bodyIndex}};
                return keepRecord(scratch, position, columnCount, wanted, recoveredSms);
            });
    });
}

void SqliteParse::parseSmsUnassignedArea(const int& addressIndex, const int& personIndex,
                                         const int& bodyIndex, const int& columnCount) {
    if (columnCount <= 0 || bodyIndex < 0) {
        return;
    }
    const auto bodyOffset = static_cast<std::size_t>(bodyIndex);
    forEachUnassignedArea([&](const Scratch& scratch) {
        const std::size_t stop =
            scratch.length > kSmsSignatureSpan ? scratch.length - kSmsSignatureSpan : 0;
        slideSignature(scratch, stop, [&](std::size_t p) -> std::optional<std::size_t> {
            const auto& bytes = scratch.bytes;
            // _id and thread_id, address, then person .. type: small integers or NULL.
            bool match = IsNullOrSmallInteger(ByteAt(bytes, p)) &&
                         IsNullOrSmallInteger(ByteAt(bytes, p + 1)) &&
                         isTextType(ByteAt(bytes, p + 2)) &&
                         isTextType(ByteAt(bytes, p + bodyOffset));
            for (std::size_t i = 3; match && i <= 9; ++i) {
                match = IsNullOrSmallInteger(ByteAt(bytes, p + i));
            }
            if (!match) {
                return std::nullopt;
            }
            std::vector<WantedColumn> wanted{{addressIndex}, {personIndex}, {bodyIndex}};
            return keepRecord(scratch, p, columnCount, wanted, recoveredSms);
        });
    });
}

void SqliteParse::dropStaleCopies(ePaserType type) {
    if (type == PARSE_CONTACTS) {
        const cellsalvage::Connection contacts = cellsalvage::OpenReadOnly(contactsDbPath);
        if (contacts) {
            cellsalvage::EraseStaleCopies(
                contacts.get(), "SELECT raw_contact_id, data1 FROM data",
                {ValueKind::Integer, ValueKind::Text}, recoveredDataRows, [](const Pair& row) {
                    return std::vector<std::string>{row.first, row.second};
                });
        }
    } else if (type == PARSE_MESSAGES) {
        const cellsalvage::Connection messages = cellsalvage::OpenReadOnly(smsDbPath);
        if (messages) {
            cellsalvage::EraseStaleCopies(messages.get(), "SELECT address, person, body FROM sms",
                                          {ValueKind::Text, ValueKind::Integer, ValueKind::Text},
                                          recoveredSms, [](const Triple& row) {
                                              return std::vector<std::string>{std::get<0>(row),
                                                                              std::get<1>(row),
                                                                              std::get<2>(row)};
                                          });
        }
    }
}

void SqliteParse::saveContactRecover2File(const std::string& /*unused*/) {
    recoveredText.clear();
    const std::size_t count = recoveredDataRows.size();
    std::vector<bool> used(count, false);
    for (std::size_t k = 0; k < count; ++k) {
        const auto& [idK, data1K] = recoveredDataRows[k];
        for (std::size_t b = k; b < count; ++b) {
            const auto& [idB, data1B] = recoveredDataRows[b];
            if (data1K.empty() || data1B.empty() || idK != idB || data1K == data1B) {
                continue;
            }
            // The name goes first, the number second.
            const bool kIsNumber = IsNumber(data1K);
            recoveredText += utf8ToAnsi(kIsNumber ? data1B : data1K);
            recoveredText += "\t";
            recoveredText += utf8ToAnsi(kIsNumber ? data1K : data1B);
            recoveredText += "\r\n";
            used[k] = true;
            used[b] = true;
        }
    }
    for (std::size_t j = 0; j < count; ++j) {
        const std::string& data1 = recoveredDataRows[j].second;
        if (used[j] || data1.empty()) {
            continue;
        }
        if (IsNumber(data1)) {
            recoveredText += "N/A\t" + utf8ToAnsi(data1);
        } else {
            recoveredText += utf8ToAnsi(data1) + "\tN/A";
        }
        recoveredText += "\r\n";
    }
    WriteTextFile("conctactdata.txt", recoveredText);
}

void SqliteParse::saveSmsRecover2File(const std::string& /*unused*/) {
    recoveredText.clear();
    for (const auto& [address, person, body] : recoveredSms) {
        const std::string number = WithoutFirstPlus86(address);
        // An empty address names nobody; it must not match a contact row whose data1 is NULL.
        const auto owner =
            number.empty()
                ? contactNames.end()
                : std::find_if(contactNames.begin(), contactNames.end(),
                               [&](const Pair& entry) { return entry.second == number; });
        std::optional<std::string> name;
        if (owner != contactNames.end()) {
            for (auto other = contactNames.begin(); other != contactNames.end(); ++other) {
                if (other != owner && other->first == owner->first) {
                    name = other->second;
                    break;
                }
            }
        }
        recoveredText += name ? utf8ToAnsi(*name) : std::string("N/A");
        recoveredText += "\t";
        recoveredText += address.empty() ? std::string("N/A") : utf8ToAnsi(address);
        recoveredText += "\t";
        recoveredText += body.empty() ? std::string("N/A") : utf8ToAnsi(body);
        recoveredText += "\r\n";
    }
    WriteTextFile("smsdata.txt", recoveredText);
}
