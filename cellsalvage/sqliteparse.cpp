#include "cellsalvage/sqliteparse.h"

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <optional>

#include "cellsalvage/knownlayouts.h"
#include "cellsalvage/sqlquery.h"
#include "cellsalvage/tablecarver.h"

namespace {

// Hands a table's column count and the indices of its named columns to the members keeping them.
void TakeLayout(const cellsalvage::TableLayout& layout, int& columnCount,
                std::initializer_list<int*> indices) {
    columnCount = layout.columnCount;
    std::size_t i = 0;
    for (int* index : indices) {
        *index = i < layout.indices.size() ? layout.indices[i] : 0;
        ++i;
    }
}

constexpr const char* kNameMimetypeSql =
    "SELECT _id FROM mimetypes WHERE mimetype = 'vnd.android.cursor.item/name'";
constexpr const char* kLiveNamesSql =
    "SELECT raw_contact_id, data1 FROM data WHERE mimetype_id = (SELECT _id FROM mimetypes WHERE "
    "mimetype = 'vnd.android.cursor.item/name')";

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
    carving = std::make_unique<cellsalvage::CarvingSession>();
    if (type == PARSE_CONTACTS) {
        if (!InitContacDbquarryFile()) {
            return;
        }
        if (carving->Open(contactsDbPath)) {
            parseContactFreelistCell(rawContactIdColumn, data1Column, dataColumnCount);
            parseContactUnassignedArea(rawContactIdColumn, data1Column, dataColumnCount);
        }
        saveContactRecover2File({});
    } else if (type == PARSE_MESSAGES) {
        if (!InitSmsDbquarryFile()) {
            return;
        }
        if (carving->Open(smsDbPath)) {
            parseSmsFresslistCell(addressColumn, personColumn, bodyColumn, smsColumnCount);
            parseSmsUnassignedArea(addressColumn, personColumn, bodyColumn, smsColumnCount);
        }
        saveSmsRecover2File({});
    }
    carving.reset();
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
        contacts.get(), "SELECT * from data", {"raw_contact_id", "data1", "mimetype_id"});
    TakeLayout(layout, dataColumnCount, {&rawContactIdColumn, &data1Column, &mimetypeColumn});
    cellsalvage::ForEachRow(contacts.get(), kNameMimetypeSql, [this](sqlite3_stmt* row) {
        nameMimetype = cellsalvage::ColumnText(row, 0);
    });
    cellsalvage::ForEachRow(contacts.get(), kLiveNamesSql, [this](sqlite3_stmt* row) {
        liveNames.emplace_back(cellsalvage::ColumnText(row, 0), cellsalvage::ColumnText(row, 1));
    });
    carving->schemas = {
        cellsalvage::ReadTableSchema(contacts.get(), "data", cellsalvage::layouts::kAndroidData)};
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
    TakeLayout(layout, smsColumnCount, {&addressColumn, &personColumn, &bodyColumn});
    carving->schemas = {
        cellsalvage::ReadTableSchema(messages.get(), "sms", cellsalvage::layouts::kAndroidSms)};
    return true;
}

// Each table is carved in two steps: the free space of its leaf pages, then the pages the file
// no longer uses; the records of both reach the table's rows together, without stale copies.

void SqliteParse::parseContactFreelistCell(const int& rawContactIdIndex, const int& data1Index,
                                           const int& /*columnCount*/) {
    cellsalvage::StartCarving(carving.get(), 0, {rawContactIdIndex, data1Index, mimetypeColumn},
                              rootPage);
}

void SqliteParse::parseContactUnassignedArea(const int& rawContactIdIndex, const int& data1Index,
                                             const int& /*columnCount*/) {
    cellsalvage::AppendCarvedRows(
        carving.get(), recoveredDataRows, [&](const cellsalvage::CarvedRecord& record) {
            return Triple{cellsalvage::ColumnNumber(record, rawContactIdIndex),
                          cellsalvage::ColumnNumber(record, mimetypeColumn),
                          cellsalvage::ColumnBytes(record, data1Index)};
        });
}

void SqliteParse::parseSmsFresslistCell(const int& addressIndex, const int& personIndex,
                                        const int& bodyIndex, const int& /*columnCount*/) {
    cellsalvage::StartCarving(carving.get(), 0, {addressIndex, personIndex, bodyIndex}, rootPage);
}

void SqliteParse::parseSmsUnassignedArea(const int& addressIndex, const int& personIndex,
                                         const int& bodyIndex, const int& /*columnCount*/) {
    cellsalvage::AppendCarvedRows(carving.get(), recoveredSms,
                                  [&](const cellsalvage::CarvedRecord& record) {
                                      return Triple{cellsalvage::ColumnBytes(record, addressIndex),
                                                    cellsalvage::ColumnBytes(record, personIndex),
                                                    cellsalvage::ColumnBytes(record, bodyIndex)};
                                  });
}

void SqliteParse::saveContactRecover2File(const std::string& /*unused*/) {
    recoveredText.clear();
    for (const Triple& row : recoveredDataRows) {
        const std::string& rawContactId = std::get<0>(row);
        const std::string& data1 = std::get<2>(row);
        if (data1.empty()) {
            continue;
        }
        if (!isNameRow(row)) {
            // A number or an address beside the name of its raw contact.
            recoveredText += ownerName(rawContactId) + "\t" + utf8ToAnsi(data1) + "\r\n";
            continue;
        }
        // A name row stands alone when none of its contact's values came back to carry it.
        const bool named = std::any_of(
            recoveredDataRows.begin(), recoveredDataRows.end(), [&](const Triple& other) {
                return std::get<0>(other) == rawContactId && !isNameRow(other) &&
                       !std::get<2>(other).empty() && !rawContactId.empty();
            });
        if (!named) {
            recoveredText += utf8ToAnsi(data1) + "\tN/A\r\n";
        }
    }
    WriteTextFile("conctactdata.txt", recoveredText);
}

std::string SqliteParse::ownerName(const std::string& rawContactId) const {
    if (rawContactId.empty()) {
        return "N/A";
    }
    for (const auto& [id, name] : liveNames) {
        if (id == rawContactId && !name.empty()) {
            return utf8ToAnsi(name);
        }
    }
    for (const Triple& row : recoveredDataRows) {
        if (std::get<0>(row) == rawContactId && isNameRow(row) && !std::get<2>(row).empty()) {
            return utf8ToAnsi(std::get<2>(row));
        }
    }
    return "N/A";
}

bool SqliteParse::isNameRow(const Triple& row) const {
    // Without a mimetypes table to tell, a value of digits alone is a number, anything else a name.
    if (nameMimetype.empty()) {
        const std::string& data1 = std::get<2>(row);
        return !std::all_of(data1.begin(), data1.end(),
                            [](char c) { return c >= '0' && c <= '9'; });
    }
    return std::get<1>(row) == nameMimetype;
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
