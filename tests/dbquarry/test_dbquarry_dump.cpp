// dbquarry-dump run as a process on databases built from the device layouts.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/cellsalvage/test_ios_support.h"
#include "tests/support/process.h"
#include "tests/support/tempdir.h"
#include "tools/dbfixtures/dbfixtures.h"

namespace {

using namespace pixhaven::dbfixtures;
using namespace pixhaven::test;

std::vector<std::string> Lines(const std::string& out) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = out.find('\n'); end != std::string::npos; end = out.find('\n', start)) {
        lines.push_back(out.substr(start, end - start));
        start = end + 1;
    }
    EXPECT_EQ(start, out.size()) << "output does not end with a line end";
    return lines;
}

class DumpTest : public ::testing::Test {
protected:
    ProcessRun Dump(std::vector<std::string> args) {
        return RunProcess(scratch_, DBQUARRY_DUMP, std::move(args), {{"TZ", "UTC0"}});
    }
    std::string Path(const char* name) const { return (dir_ / name).string(); }

    TempDir dir_;
    TempDir scratch_;
};

TEST_F(DumpTest, ContactsPrintEveryListAsJsonLinesThenTheCode) {
    {
        Database db = CreateFromSchema(dir_ / "AddressBook.sqlitedb", "addressbook.sql");
        db.Exec(
            "INSERT INTO ABPerson (ROWID, First, Last, Note, Birthday) VALUES "
            "(1, 'Ann \"Q\" \\', NULL, 'tab\there' || char(10) || char(1), '0');"
            "INSERT INTO ABPerson (ROWID, First) VALUES (2, '\xc3\xa9\xf0\x9f\x93\x9e');"
            "INSERT INTO ABMultiValue (record_id, property, identifier, label, value) VALUES "
            "(1, 3, 0, 9, '+1 555 0101');"
            "INSERT INTO ABMultiValueEntryKey (rowid, value) VALUES (1, 'City');"
            "INSERT INTO ABMultiValueEntry (parent_id, key, value) VALUES (1, 1, 'Paris');");
    }
    const ProcessRun run = Dump({"contacts", Path("AddressBook.sqlitedb")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 5u) << run.out;
    EXPECT_EQ(lines[0],
              "{\"record\": \"Person\", \"rowid\": 1, \"first\": \"Ann \\\"Q\\\" \\\\\", "
              "\"last\": null, \"middle\": null, \"organization\": null, \"department\": null, "
              "\"note\": \"tab\\u0009here\\u000a\\u0001\", \"birthday\": \"01-01-2001\", "
              "\"jobtitle\": null, \"nickname\": null, \"creationdate\": 0, "
              "\"modificationdate\": 0, \"ispreferredname\": 1, \"reserved1\": 0, "
              "\"phone\": \"+1 555 0101\", \"reserved2\": 0, \"groups\": null, \"deleted\": 0}");
    EXPECT_NE(lines[1].find("\"first\": \"\xc3\xa9\xf0\x9f\x93\x9e\""), std::string::npos)
        << lines[1];
    EXPECT_EQ(lines[2],
              "{\"record\": \"MultiValue\", \"uid\": 1, \"record_id\": 1, \"property\": 3, "
              "\"identifier\": 0, \"label\": \"9\", \"value\": \"+1 555 0101\"}");
    EXPECT_EQ(lines[3],
              "{\"record\": \"MultiValueEntry\", \"parent_id\": 1, \"key\": \"City\", "
              "\"value\": \"Paris\"}");
    EXPECT_EQ(lines[4], "{\"code\": 0}");
}

TEST_F(DumpTest, ContactImagesAreHex) {
    {
        Database db =
            CreateFromSchema(dir_ / "AddressBookImages.sqlitedb", "addressbook-images.sql");
        db.Run("INSERT INTO ABThumbnailImage (record_id, format, data) VALUES (4, 0, ?1)",
               {Blob{std::string("\xff\xd8\x00\x0a", 4)}});
    }
    const ProcessRun run = Dump({"contact-images", Path("AddressBookImages.sqlitedb")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "{\"record\": \"ContactImage\", \"image\": \"ffd8000a\", \"length\": 4, "
              "\"record_id\": 4}\n{\"code\": 0}\n");
}

// 280 calls to "+1 555 3<1000 + n>", of which call 150 is deleted.
void BuildCallHistoryWithOneDeleted(const std::filesystem::path& file) {
    Database db = CreateFromSchema(file, "call-history.sql");
    db.Exec("BEGIN");
    for (int n = 1; n <= 280; ++n) {
        ios_test::AddCall(db, "+1 555 3" + std::to_string(1000 + n), n % 2 == 0 ? 5 : 4, n);
    }
    db.Exec("COMMIT");
    db.Exec("PRAGMA secure_delete = OFF");
    // Rowids from 128 on: the freeblock header leaves the address whole.
    db.Exec("DELETE FROM call WHERE ROWID = 150");
}

TEST_F(DumpTest, DeletedCallsFollowTheLiveOnes) {
    CreateFromSchema(dir_ / "AddressBook.sqlitedb", "addressbook.sql");
    BuildCallHistoryWithOneDeleted(dir_ / "call_history.db");
    const ProcessRun run =
        Dump({"deleted-calls", Path("AddressBook.sqlitedb"), Path("call_history.db")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_GE(lines.size(), 280u) << run.out;
    for (std::size_t i = 0; i < 279; ++i) {
        EXPECT_NE(lines[i].find("\"deleted\": 0}"), std::string::npos) << lines[i];
    }
    ASSERT_GT(lines.size(), 280u) << "nothing recovered";
    EXPECT_NE(lines[279].find("\"rowid\": 0, \"address\": \"N/A-+1 555 31150\""), std::string::npos)
        << lines[279];
    EXPECT_NE(lines[279].find("\"flags\": 5, \"reserved\": 0, \"deleted\": 1}"), std::string::npos)
        << lines[279];
    EXPECT_EQ(lines.back(), "{\"code\": 0}");
}

// Recovered text comes in the charset of the user's locale, so the dump runs in that locale: an
// 8-bit charset keeps what it can hold, plain ASCII keeps less.
TEST_F(DumpTest, RecoveredNamesDecodeInTheUsersCharset) {
    {
        Database book = CreateFromSchema(dir_ / "AddressBook.sqlitedb", "addressbook.sql");
        ios_test::AddPerson(book, 1, "Zo\xc3\xab \xce\xa9", "Lindqvist");
        ios_test::AddNumber(book, 1, "+1 555 31150");
    }
    BuildCallHistoryWithOneDeleted(dir_ / "call_history.db");
    const auto latin1 = Latin1Locale(scratch_);
    ASSERT_FALSE(latin1.empty()) << "no Latin-1 locale (localedef, locales package)";
    for (const auto& [environment, name] :
         {std::pair<std::map<std::string, std::string>, std::string>{{{"LC_ALL", "C"}},
                                                                     "LindqvistZo? ?"},
          {latin1, "LindqvistZo\xc3\xab ?"}}) {
        const ProcessRun run = RunProcess(
            scratch_, DBQUARRY_DUMP,
            {"deleted-calls", Path("AddressBook.sqlitedb"), Path("call_history.db")}, environment);
        EXPECT_NE(run.out.find("\"address\": \"" + name + "-+1 555 31150\""), std::string::npos)
            << run.out;
    }
}

TEST_F(DumpTest, FailuresAndUsageErrors) {
    const ProcessRun missing = Dump({"notes", Path("missing.sqlite")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out, "{\"code\": 1}\n");

    CreateFromSchema(dir_ / "AddressBook.sqlitedb", "addressbook.sql");
    const ProcessRun wrongTable = Dump({"bookmarks", Path("AddressBook.sqlitedb")});
    EXPECT_EQ(wrongTable.exitCode, 2);
    EXPECT_EQ(wrongTable.out, "{\"code\": 2}\n");

    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},
                                               {"contacts"},
                                               {"gossip", Path("AddressBook.sqlitedb")},
                                               {"calls", Path("a"), Path("b")},
                                               {"deleted-calls", Path("AddressBook.sqlitedb")},
                                               {"contacts", Path("a"), Path("b"), Path("c")}}) {
        const ProcessRun run = Dump(args);
        EXPECT_EQ(run.exitCode, 64) << (args.empty() ? "" : args[0]);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("usage"), std::string::npos);
    }
}

}  // namespace
