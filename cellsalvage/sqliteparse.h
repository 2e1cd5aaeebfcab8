// Carves deleted contacts (table data of contacts2.db) and messages (table sms of mmssms.db) out
// of Android databases, pairs them with live contact data, and leaves the result in
// recoveredText; it is also written to "conctactdata.txt" or "smsdata.txt" in the current folder.
#pragma once

#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "cellsalvage/export.h"
#include "cellsalvage/parsetypes.h"
#include "cellsalvage/sqliteparsebase.h"

namespace cellsalvage {
struct CarvingSession;
}

class CELLSALVAGE_API SqliteParse : public SqliteParseBase {
public:
    SqliteParse(const std::u16string& contactsDbPath, const std::u16string& smsDbPath);
    ~SqliteParse() override;

    // `os` must be OS_NONE; any other value does nothing.
    void startParse(ePaserType type, eOSType os) override;

private:
    bool InitContacDbquarryFile();
    bool InitSmsDbquarryFile();
    void parseContactFreelistCell(const int& rawContactIdIndex, const int& data1Index,
                                  const int& columnCount);
    void parseContactUnassignedArea(const int& rawContactIdIndex, const int& data1Index,
                                    const int& columnCount);
    void parseSmsFresslistCell(const int& addressIndex, const int& personIndex,
                               const int& bodyIndex, const int& columnCount);
    void parseSmsUnassignedArea(const int& addressIndex, const int& personIndex,
                                const int& bodyIndex, const int& columnCount);
    void saveContactRecover2File(const std::string& unused);
    void saveSmsRecover2File(const std::string& unused);

    // The name a carved data row's value shows: its raw contact's live or carved name row.
    std::string ownerName(const std::string& rawContactId) const;
    // Whether a carved data row is its raw contact's name row (by its mimetype).
    bool isNameRow(const Triple& row) const;

    int rootPage = 0;
    std::u16string contactsDbPath;
    std::u16string smsDbPath;
    int dataColumnCount = 0;
    int smsColumnCount = 0;
    int rawContactIdColumn = 0;
    int data1Column = 0;
    int addressColumn = 0;
    int personColumn = 0;
    int bodyColumn = 0;

public:
    std::string recoveredText;

private:
    // Carved data rows: (raw_contact_id, mimetype_id, data1 bytes), numbers in decimal or "".
    std::vector<Triple> recoveredDataRows;
    std::vector<Pair> contactNames;    // live (raw_contact_id, data1) as text
    std::vector<Triple> recoveredSms;  // (address bytes, person bytes, body bytes)
    std::vector<Pair> liveNames;       // contacts: live name rows (raw_contact_id, data1)
    int mimetypeColumn = 0;            // index of "mimetype_id" in data
    std::string nameMimetype;          // the mimetype_id of name rows, in decimal
    std::unique_ptr<cellsalvage::CarvingSession> carving;
};
