// Carves deleted contacts (table data of contacts2.db) and messages (table sms of mmssms.db) out
// of Android databases, pairs them with live contact data, and leaves the result in
// recoveredText; it is also written to "conctactdata.txt" or "smsdata.txt" in the current folder.
#pragma once

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "cellsalvage/export.h"
#include "cellsalvage/parsetypes.h"
#include "cellsalvage/sqliteparsebase.h"

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

    // Drops carved rows equal to a live row of their table (stale copies left by rebalancing).
    void dropStaleCopies(ePaserType type);

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
    std::vector<Pair> recoveredDataRows;  // (raw_contact_id bytes, data1 bytes)
    std::vector<Pair> contactNames;       // live (raw_contact_id, data1) as text
    std::vector<Triple> recoveredSms;     // (address bytes, person bytes, body bytes)
};
