// Carves deleted contacts (AddressBook ABMultiValue and ABPerson), messages (iOS 5 and iOS 6
// layouts) and calls out of iOS databases, joins them with AddressBook names and leaves the
// result as text: one record per line ending "\r\n", fields separated by "\t", in the locale's
// charset. Files are only read: SQL connections are read-only and immutable, and the raw page
// reads (of the database and of a write-ahead log beside it) never write or checkpoint.
#pragma once

#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "cellsalvage/export.h"
#include "cellsalvage/parsetypes.h"
#include "cellsalvage/sqliteparsebase.h"

struct sqlite3;
namespace cellsalvage {
struct CarvingSession;
}

class CELLSALVAGE_API IphoneSqlitParse : public SqliteParseBase {
public:
    IphoneSqlitParse(const std::u16string& addressBookPath, const std::u16string& recordDbPath);
    // Keeps the label only; with both paths empty, startParse produces nothing.
    explicit IphoneSqlitParse(const std::string& label);
    ~IphoneSqlitParse() override;

    // Construct, one startParse, read recoveredText, destroy.
    void startParse(ePaserType type, eOSType os) override;

private:
    bool InitContacDbquarryFile();
    bool InitSmsDbquarryFile();
    bool InitCallHistoryDbFile();
    // The message and call steps: the AddressBook's names by value, then the root page and layout
    // of one table of the record database (its address column and `secondColumn`).
    bool readNamesAndRecordTable(const char* rootSql, const char* layoutSql, const char* table,
                                 const char* secondColumn, int& columnCount, int& secondIndex);

    void parseContactABMultiValueFreelistCell(const int& recordIdIndex, const int& valueIndex,
                                              const int& columnCount);
    void parseContactABMultiValueUnassignedArea(const int& recordIdIndex, const int& valueIndex,
                                                const int& columnCount);
    void parseContactABPersonFreelistCell(const int& rowidIndex, const int& firstIndex,
                                          const int& lastIndex, const int& columnCount);
    void parseContactABPersonUnassignedArea(const int& rowidIndex, const int& firstIndex,
                                            const int& lastIndex, const int& columnCount);
    // iOS 5: the first-byte rule rewrites the three values it is given.
    void parseSmsFreelistCell(int& addressIndex, int& textIndex, int& columnCount);
    void parseSmsUnassignedArea(const int& addressIndex, const int& textIndex,
                                const int& columnCount);
    // iOS 6.
    void parseSmsFreelistCell(const int& textIndex, const int& columnCount);
    void parseSmsUnassignedArea(const int& textIndex, const int& columnCount);
    void parseCallHistoryFreelistCell(const int& addressIndex, const int& flagsIndex,
                                      const int& columnCount);
    void parseCallHistoryUnassignedArea(const int& addressIndex, const int& flagsIndex,
                                        const int& columnCount);

    void saveContactRecover2File();
    // The names a carved value's line shows for its owner (record_id in decimal): one per row of
    // the names statement for an owner with live values, else the live or carved person of that
    // rowid; "N/A" when no owner can be known.
    std::vector<std::string> ownerNames(const std::string& recordId) const;
    void saveSmsRecover2File(eOSType os);
    void saveCallHistoryRecover2File();

    sqlite3* recordDbHandle = nullptr;
    sqlite3* addressBookHandle = nullptr;
    int rootPage = 0;
    int secondRootPage = 0;
    std::u16string addressBookPath;
    std::u16string recordDbPath;
    std::string label;
    int multiValueColumnCount = 0;
    int personColumnCount = 0;
    int messageColumnCount = 0;
    int callColumnCount = 0;
    int recordIdColumn = 0;
    int valueColumn = 0;
    int rowidColumn = 0;
    int firstColumn = 0;
    int lastColumn = 0;
    int addressColumn = 0;
    int textColumn = 0;
    int flagsColumn = 0;
    std::vector<Pair> recoveredMultiValues;  // (record_id in decimal or "", value bytes)
    std::vector<Pair> contactNames;          // (Last + First, key)
    std::vector<Pair> recoveredMessages;     // (address bytes, text bytes)
    std::vector<std::string> recoveredMessageTexts;
    std::vector<Pair> recoveredCalls;      // (address bytes, flags bytes)
    std::vector<Triple> recoveredPersons;  // (rowid in decimal or "", First bytes, Last bytes)
    std::vector<Pair> livePersons;         // (ROWID in decimal, Last + First)
    std::unique_ptr<cellsalvage::CarvingSession> carving;

public:
    std::string recoveredText;
};
