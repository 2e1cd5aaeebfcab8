// Every parser mode on files built to break recovery tools, on truncated databases and on databases
// with damaged b-tree pages: none may crash, hang or read out of bounds (the sanitizer build runs
// these), and the evidence files stay exactly as they were.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "cellsalvage/iphonesqlitparse.h"
#include "cellsalvage/sqliteparse.h"
#include "platform/textcodec.h"
#include "tests/support/tempdir.h"
#include "tools/dbfixtures/dbfixtures.h"

namespace {

namespace fs = std::filesystem;
using namespace pixhaven::dbfixtures;
using namespace pixhaven::test;
using pixhaven::platform::PathToUtf16;

constexpr int kPageSize = 1024;

// Every mode of both parsers; returns the total text recovered, so the work cannot be skipped.
std::size_t RunEveryMode(const fs::path& first, const fs::path& second) {
    std::size_t total = 0;
    for (const int type : {0, 1, 2}) {
        for (const int os : {1, 2, 3, 4}) {
            IphoneSqlitParse parser(PathToUtf16(first), PathToUtf16(second));
            parser.startParse(static_cast<ePaserType>(type), static_cast<eOSType>(os));
            total += parser.recoveredText.size();
        }
    }
    for (const int type : {0, 1}) {
        SqliteParse parser(PathToUtf16(first), PathToUtf16(second));
        parser.startParse(static_cast<ePaserType>(type), OS_NONE);
        total += parser.recoveredText.size();
    }
    return total;
}

struct FileState {
    std::string bytes;
    fs::file_time_type modified;
    bool operator==(const FileState&) const = default;
};

FileState StateOf(const fs::path& file) {
    return {ReadFile(file), fs::last_write_time(file)};
}

// `insert`, an INSERT ... SELECT over the column i of n, for i from 0 to count - 1.
std::string ForEachRow(int count, const std::string& insert) {
    return "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < " +
           std::to_string(count) + ") " + insert + "; ";
}

// A database of the layout `schema` after `script` ran on it.
void Build(const fs::path& file, const char* schema, const std::string& script) {
    CreateFromSchema(file, schema, kPageSize).Exec(script);
}

// Real databases of every carved table, with rows deleted so that freeblocks and unassigned areas
// hold records; several pages each, so interior pages exist.
struct Fixtures {
    explicit Fixtures(const TempDir& dir)
        : addressBook(dir / "AddressBook.sqlitedb"),
          ios5(dir / "sms5.db"),
          ios6(dir / "sms6.db"),
          calls(dir / "call_history.db"),
          contacts2(dir / "contacts2.db"),
          mmssms(dir / "mmssms.db") {
        Build(addressBook, "addressbook.sql",
              ForEachRow(120,
                         "INSERT INTO ABPerson (First, Last) SELECT 'First' || i, 'Last' || i "
                         "FROM n") +
                  ForEachRow(240,
                             "INSERT INTO ABMultiValue (record_id, property, value) "
                             "SELECT i / 2 + 1, 3, '55501' || i FROM n") +
                  "DELETE FROM ABPerson WHERE ROWID % 4 = 1; "
                  "DELETE FROM ABMultiValue WHERE UID % 3 = 0");
        Build(ios5, "ios5-sms-upgraded.sql",
              ForEachRow(150,
                         "INSERT INTO message (address, date, text, flags) "
                         "SELECT '55501' || i, 1300000000 + i, 'hello ' || i, 2 FROM n") +
                  "DELETE FROM message WHERE ROWID % 3 = 0");
        Build(ios6, "ios6-sms.sql",
              ForEachRow(150,
                         "INSERT INTO message (guid, text, date) "
                         "SELECT '00000000-0000-0000-0000-0000000' || (10000 + i), 'text ' || i, "
                         "400000000 + i FROM n") +
                  "DELETE FROM message WHERE ROWID % 3 = 0");
        Build(calls, "call-history.sql",
              ForEachRow(150,
                         "INSERT INTO call (address, date, duration, flags, id) "
                         "SELECT '55501' || i, 1300000000 + i, 9, 4 + i % 2, -1 FROM n") +
                  "DELETE FROM call WHERE ROWID % 3 = 0");
        Build(contacts2, "android-contacts2.sql",
              "INSERT INTO mimetypes (mimetype) VALUES ('vnd.android.cursor.item/name'); " +
                  ForEachRow(200,
                             "INSERT INTO data (mimetype_id, raw_contact_id, data1) "
                             "SELECT 1, i / 2 + 1, CASE WHEN i % 2 = 0 THEN 'Name ' || i "
                             "ELSE '1380000' || i END FROM n") +
                  "DELETE FROM data WHERE raw_contact_id % 4 = 0");
        Build(mmssms, "android-mmssms.sql",
              ForEachRow(150,
                         "INSERT INTO sms (thread_id, address, person, date, type, body) "
                         "SELECT 1, '+861380000' || i, 0, 1300000000 + i, 1, 'body ' || i FROM n") +
                  "DELETE FROM sms WHERE _id % 3 = 0");
    }

    std::vector<fs::path> all() const {
        return {addressBook, ios5, ios6, calls, contacts2, mmssms};
    }

    fs::path addressBook, ios5, ios6, calls, contacts2, mmssms;
};

TEST(CellsalvageHostileFiles, ForensicCorpusInEveryMode) {
    TempDir dir;
    TempDir work;
    const Fixtures fixtures(dir);
    const std::vector<fs::path> corpus = ForensicCorpusFiles();
    ASSERT_GT(corpus.size(), 50U);
    std::vector<FileState> before;
    for (const fs::path& file : corpus) {
        before.push_back(StateOf(file));
    }
    const std::set<fs::path> listing = EntryNames(ForensicCorpusDir());

    {
        InFolder inWork(work.path());
        for (const fs::path& file : corpus) {
            SCOPED_TRACE(file.filename().string());
            RunEveryMode(file, file);
            RunEveryMode(fixtures.addressBook, file);
        }
    }

    for (std::size_t i = 0; i < corpus.size(); ++i) {
        EXPECT_TRUE(StateOf(corpus[i]) == before[i]) << corpus[i] << " changed";
    }
    EXPECT_EQ(EntryNames(ForensicCorpusDir()), listing);
}

TEST(CellsalvageHostileFiles, RealDatabasesRecoverSomethingAndStayUnchanged) {
    TempDir dir;
    TempDir work;
    const Fixtures fixtures(dir);
    std::vector<FileState> before;
    for (const fs::path& file : fixtures.all()) {
        before.push_back(StateOf(file));
    }
    const std::set<fs::path> listing = EntryNames(dir.path());
    std::size_t recovered = 0;
    {
        InFolder inWork(work.path());
        recovered += RunEveryMode(fixtures.addressBook, fixtures.addressBook);
        recovered += RunEveryMode(fixtures.addressBook, fixtures.ios5);
        recovered += RunEveryMode(fixtures.addressBook, fixtures.ios6);
        recovered += RunEveryMode(fixtures.addressBook, fixtures.calls);
        recovered += RunEveryMode(fixtures.contacts2, fixtures.mmssms);
    }
    EXPECT_GT(recovered, 0U);  // the damaged copies below start from files that carve
    const std::vector<fs::path> files = fixtures.all();
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_TRUE(StateOf(files[i]) == before[i]) << files[i] << " changed";
    }
    EXPECT_EQ(EntryNames(dir.path()), listing);
}

TEST(CellsalvageHostileFiles, TruncatedCopies) {
    TempDir dir;
    TempDir work;
    const Fixtures fixtures(dir);
    InFolder inWork(work.path());
    for (const fs::path& original : fixtures.all()) {
        const std::string bytes = ReadFile(original);
        const std::size_t size = bytes.size();
        for (const std::size_t cut : {std::size_t{0}, std::size_t{17}, std::size_t{100},
                                      std::size_t{kPageSize}, std::size_t{kPageSize + 9}, size / 2,
                                      size / 2 + 511, size - kPageSize + 3, size - 1}) {
            SCOPED_TRACE(original.filename().string() + " cut at " + std::to_string(cut));
            const fs::path copy = dir / ("cut-" + original.filename().string());
            WriteFile(copy, std::string_view(bytes).substr(0, std::min(cut, size)));
            RunEveryMode(copy, copy);
            RunEveryMode(fixtures.addressBook, copy);
            RunEveryMode(fixtures.contacts2, copy);
        }
    }
}

TEST(CellsalvageHostileFiles, DamagedBtreePages) {
    TempDir dir;
    TempDir work;
    const Fixtures fixtures(dir);
    InFolder inWork(work.path());
    std::mt19937 random(20261207);
    for (const fs::path& original : fixtures.all()) {
        const std::string bytes = ReadFile(original);
        const std::size_t pages = bytes.size() / kPageSize;
        ASSERT_GT(pages, 3U) << original;
        for (int variant = 0; variant < 12; ++variant) {
            std::string damaged = bytes;
            // Page headers and cell pointers steer every read; the rest of a page is contents.
            const bool headersOnly = variant % 2 == 0;
            std::uniform_int_distribution<std::size_t> pageOf(1, pages - 1);
            std::uniform_int_distribution<std::size_t> within(0, headersOnly ? 40 : kPageSize - 1);
            std::uniform_int_distribution<int> flip(1, 255);
            for (int n = 0; n < 24; ++n) {
                const std::size_t at = pageOf(random) * kPageSize + within(random);
                damaged[at] = static_cast<char>(damaged[at] ^ flip(random));
            }
            SCOPED_TRACE(original.filename().string() + " variant " + std::to_string(variant));
            const fs::path copy = dir / ("damaged-" + original.filename().string());
            WriteFile(copy, damaged);
            RunEveryMode(copy, copy);
            RunEveryMode(fixtures.addressBook, copy);
            RunEveryMode(fixtures.contacts2, copy);
        }
    }
}

}  // namespace
