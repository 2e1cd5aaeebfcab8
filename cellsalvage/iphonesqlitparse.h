// Carves deleted contacts (AddressBook ABMultiValue and ABPerson), messages (iOS 5 and iOS 6
// layouts) and calls out of iOS databases, joins them with AddressBook names and leaves the
// result as text: one record per line ending "\r\n", fields separated by "\t", in the locale's
// charset. Files are only read: SQL connections are read-only and the raw stream is an ifstream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "cellsalvage/export.h"
#include "cellsalvage/parsetypes.h"
#include "cellsalvage/sqliteparsebase.h"

struct sqlite3;

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
    bool readNamesAndRecordTable(const char* rootSql, const char* layoutSql,
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
    void saveSmsRecover2File(eOSType os);
    void saveCallHistoryRecover2File();

    // Drops carved rows equal to a live row of their table: b-tree rebalancing leaves such stale
    // copies in free space, and they were never deleted.
    void dropStaleCopies(ePaserType type, eOSType os);

    // The serial type (varint) at `position`, when all of it lies inside the scratch buffer;
    // `used` is its length in bytes.
    static bool readSerialType(const Scratch& scratch, std::size_t position, std::uint32_t& type,
                               std::size_t& used);
    // A single byte of the scratch buffer; 0 past its end.
    static unsigned char byteAt(const Scratch& scratch, std::size_t position);

    // One step of an unassigned-area signature: `skipBefore` bytes passed over, then a serial
    // type that `matches` accepts.
    struct SignatureStep {
        std::size_t skipBefore;
        bool (*matches)(std::uint32_t);
    };
    // Whether the serial types from `position` follow `steps`, each read whole inside the buffer.
    static bool matchesSignature(const Scratch& scratch, std::size_t position,
                                 std::span<const SignatureStep> steps);
    // The unassigned-area carver of the message and call tables: every position whose serial
    // types follow `signature` starts a record of `columns` types, whose wanted columns are kept.
    template <typename Row>
    void carveSignedRecords(std::span<const SignatureStep> signature, int columns,
                            std::vector<WantedColumn> wanted, const WalkRules& rules,
                            std::vector<Row>& rows);

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
    std::vector<Pair> recoveredMultiValues;  // (record_id bytes, value bytes)
    std::vector<Pair> contactNames;          // (Last + First, key)
    std::vector<Pair> recoveredMessages;     // (address bytes, text bytes)
    std::vector<std::string> recoveredMessageTexts;
    std::vector<Pair> recoveredCalls;      // (address bytes, flags bytes)
    std::vector<Triple> recoveredPersons;  // (identifier bytes, First bytes, Last bytes)

public:
    std::string recoveredText;
};
