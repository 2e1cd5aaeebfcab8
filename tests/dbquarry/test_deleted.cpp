// The deleted-record readers: the engine's lines as rows, and recovered records appended to the
// lists of the live readers on databases with deleted rows.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "dbquarry/dbquarry.h"
#include "dbquarry/recoveredrows.h"
#include "tests/cellsalvage/test_ios_support.h"
#include "tests/dbquarry/lists_test.h"

namespace {

using namespace ios_test;
using dbquarry::recovered::LineRule;
using dbquarry::recovered::Row;
using dbquarry::recovered::SplitRows;
using pixhaven::platform::PathToUtf16;

struct Plain {
    std::int32_t id;
    std::string first;
    std::string second;
    bool operator==(const Plain&) const = default;
};

std::vector<Plain> Plainly(const std::vector<Row>& rows) {
    std::vector<Plain> plain;
    for (const Row& row : rows) {
        plain.push_back({row.id, std::string(row.first), std::string(row.second)});
    }
    return plain;
}

TEST(RecoveredRows, LinesEndAtTheSeparatorAndSplitAtTheFirstTab) {
    EXPECT_EQ(Plainly(SplitRows("A\tB\r\nC\tD\r\n", LineRule::NeedsTab)),
              (std::vector<Plain>{{20000, "A", "B"}, {20001, "C", "D"}}));
    // Text after the last separator is no line; a lone "\r" or "\n" does not end one.
    EXPECT_EQ(Plainly(SplitRows("A\tB\r\nC\tD", LineRule::NeedsTab)),
              (std::vector<Plain>{{20000, "A", "B"}}));
    EXPECT_EQ(Plainly(SplitRows("A\tB\rC\nD\r\n", LineRule::NeedsTab)),
              (std::vector<Plain>{{20000, "A", "B\rC\nD"}}));
    // Further tabs stay in the second field; empty fields stay empty.
    EXPECT_EQ(Plainly(SplitRows("x\ty\tOutgoing\r\n\t\r\n", LineRule::NeedsTab)),
              (std::vector<Plain>{{20000, "x", "y\tOutgoing"}, {20001, "", ""}}));
    EXPECT_TRUE(SplitRows("", LineRule::NeedsTab).empty());
    EXPECT_TRUE(SplitRows("no separator\tat all", LineRule::WholeLine).empty());
}

TEST(RecoveredRows, ALineWithoutTabIsSkippedWithoutUsingAnId) {
    EXPECT_EQ(Plainly(SplitRows("lonely\r\n\r\nAda\t+1 555\r\n", LineRule::NeedsTab)),
              (std::vector<Plain>{{20000, "Ada", "+1 555"}}));
}

TEST(RecoveredRows, WholeLinesIncludingEmptyOnes) {
    EXPECT_EQ(Plainly(SplitRows("hello\r\n\r\n", LineRule::WholeLine)),
              (std::vector<Plain>{{20000, "hello", ""}, {20001, "", ""}}));
    EXPECT_EQ(Plainly(SplitRows("a\tb\r\n", LineRule::WholeLine)),
              (std::vector<Plain>{{20000, "a\tb", ""}}));
}

TEST(RecoveredRows, OnlyExactlyOutgoingIsOutgoing) {
    EXPECT_TRUE(dbquarry::recovered::IsOutgoing("Outgoing"));
    for (const char* other : {"Incoming", "N/A", "outgoing", "Outgoing ", "B\tOutgoing", ""}) {
        EXPECT_FALSE(dbquarry::recovered::IsOutgoing(other)) << other;
    }
}

class DeletedTest : public ::testing::Test {
protected:
    void TearDown() override { FreeAllLists(); }

    void BuildAddressBook() { BuildAddressBookWithSharedNumber(addressBook_); }

    // The engine's rows from the AddressBook and `recordDb`, split by `rule`; the folder as it is
    // then is what ExpectFolderUnchanged compares with.
    std::vector<Row> Carve(const fs::path& recordDb, int type, int os, LineRule rule) {
        carved_ = Parse(addressBook_, recordDb, type, os);
        before_ = Snapshot(dir_.path());
        return SplitRows(carved_, rule);
    }
    void ExpectFolderUnchanged() const {
        EXPECT_EQ(Snapshot(dir_.path()), before_) << "a reader changed or created a file";
    }

    TempDir dir_;
    fs::path addressBook_ = dir_ / "AddressBook.sqlitedb";
    fs::path recordDb_ = dir_ / "record.db";
    std::u16string addressBook16_ = PathToUtf16(addressBook_);
    std::u16string recordDb16_ = PathToUtf16(recordDb_);
    std::string carved_;  // the text Carve's rows point into
    FolderState before_;
};

TEST_F(DeletedTest, Ios5MessagesFollowTheLiveOnesEachAfterItsSender) {
    BuildAddressBook();
    BuildRecordDb(
        recordDb_, "ios5-sms-fresh.sql", 28,
        [](Database& db, int n) {
            AddIos5Message(db, n % 2 == 0 ? "+1 555 0777" : "+1 555 0999",
                           "Message " + std::to_string(n) + " about the blue folder", n);
            if (n == 28) {
                db.Exec("INSERT INTO msg_group (ROWID, type) VALUES (1, 0)");
            }
        },
        "DELETE FROM message WHERE ROWID IN (6, 10, 18, 19, 28)");
    const std::vector<Row> rows = Carve(recordDb_, kMessages, kIos5, LineRule::NeedsTab);
    ASSERT_GE(rows.size(), 3u);

    MsgGroup_iOS5* groups = nullptr;
    Message_iOS5* messages = nullptr;
    ASSERT_EQ(qvGetMessage_iOS5(recordDb16_.c_str(), nullptr, &groups, &messages, nullptr, nullptr,
                                nullptr),
              DBQUARRY_OK);
    const MsgGroup_iOS5* liveGroups = groups;
    const Message_iOS5* liveMessages = messages;
    const std::size_t liveGroupCount = Records(groups).size();
    const std::size_t liveMessageCount = Records(messages).size();
    ASSERT_EQ(liveMessageCount, 23u);

    qvGetDeletedMsg_iOS5(addressBook16_.c_str(), recordDb16_.c_str(), &messages, &groups);

    EXPECT_EQ(groups, liveGroups);
    EXPECT_EQ(messages, liveMessages);
    const auto allGroups = Records(groups);
    const auto allMessages = Records(messages);
    ASSERT_EQ(allGroups.size(), liveGroupCount + rows.size());
    ASSERT_EQ(allMessages.size(), liveMessageCount + rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const MsgGroup_iOS5& group = *allGroups[liveGroupCount + i];
        const Message_iOS5& message = *allMessages[liveMessageCount + i];
        EXPECT_EQ(group.rowid, 20000 + static_cast<int>(i));
        EXPECT_EQ(group.deleted, 1);
        EXPECT_EQ(Utf8(group.address), std::string(rows[i].first));
        EXPECT_EQ(message.group_id, group.rowid);
        EXPECT_EQ(Utf8(message.text), std::string(rows[i].second));
        EXPECT_EQ(message.rowid, 0);
        EXPECT_EQ(message.address, nullptr);
        EXPECT_EQ(message.is_madrid, 0);
    }
    ExpectFolderUnchanged();
}

TEST_F(DeletedTest, Ios6MessagesGetUnknownHandlesAndAnEmptyListTakesTheFirstRecord) {
    BuildAddressBook();
    BuildRecordDb(
        recordDb_, "ios6-sms.sql", 60,
        [](Database& db, int n) {
            AddIos6Message(db, n, "iMessage #" + std::to_string(n) + ", running late");
        },
        "DELETE FROM message WHERE ROWID IN (10, 20, 21, 30)");
    const std::vector<Row> rows = Carve(recordDb_, kMessages, kIos6, LineRule::WholeLine);
    ASSERT_FALSE(rows.empty());

    // No live reader first: the recovered records become the lists (released by the free).
    Handle_iOS6* handles = nullptr;
    Message_iOS6* messages = nullptr;
    qvGetDeletedMsg_iOS6(addressBook16_.c_str(), recordDb16_.c_str(), &messages, &handles);
    const auto allHandles = Records(handles);
    const auto allMessages = Records(messages);
    ASSERT_EQ(allHandles.size(), rows.size());
    ASSERT_EQ(allMessages.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(allHandles[i]->rowid, 20000 + static_cast<int>(i));
        EXPECT_EQ(Utf8(allHandles[i]->id), "Unknown");
        EXPECT_EQ(allHandles[i]->deleted, 1);
        EXPECT_EQ(allMessages[i]->handle_id, allHandles[i]->rowid);
        EXPECT_EQ(Utf8(allMessages[i]->text), std::string(rows[i].first));
    }

    // A second call appends again, with ids again from 20000.
    qvGetDeletedMsg_iOS6(addressBook16_.c_str(), recordDb16_.c_str(), &messages, &handles);
    const auto twice = Records(handles);
    ASSERT_EQ(twice.size(), 2 * rows.size());
    EXPECT_EQ(twice[rows.size()]->rowid, 20000);
    EXPECT_EQ(Records(messages).size(), 2 * rows.size());
}

TEST_F(DeletedTest, ContactsAppendAfterTheLivePersons) {
    {
        Database db = CreateFromSchema(addressBook_, "addressbook.sql");
        db.Exec("BEGIN");
        FillAddressBook(db, 30);  // persons 2..31
        db.Exec("COMMIT");
    }
    {
        Database db = Reopen(addressBook_);
        db.Exec("DELETE FROM ABPerson WHERE ROWID IN (20, 25, 31)");
        db.Exec("DELETE FROM ABMultiValue WHERE record_id IN (20, 25, 31)");
    }
    const std::vector<Row> rows = Carve({}, kContacts, kIos5, LineRule::NeedsTab);
    ASSERT_GE(rows.size(), 2u);

    Person* persons = nullptr;
    MultiValue* values = nullptr;
    ASSERT_EQ(qvGetContactInfo(addressBook16_.c_str(), nullptr, &persons, &values, nullptr, nullptr,
                               nullptr),
              DBQUARRY_OK);
    const Person* live = persons;
    qvGetDeletedContacts(addressBook16_.c_str(), nullptr, &persons);
    EXPECT_EQ(persons, live);
    const auto all = Records(persons);
    ASSERT_EQ(all.size(), 27 + rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Person& person = *all[27 + i];
        EXPECT_EQ(person.rowid, 20000 + static_cast<int>(i));
        EXPECT_EQ(person.deleted, 1);
        EXPECT_EQ(Utf8(person.first), std::string(rows[i].first));
        EXPECT_EQ(Utf8(person.phone), std::string(rows[i].second));
        EXPECT_EQ(person.last, nullptr);
        EXPECT_EQ(person.groups, nullptr);
    }
    EXPECT_EQ(all[26]->deleted, 0);
    ExpectFolderUnchanged();
}

TEST_F(DeletedTest, CallsAreOutgoingOnlyForExactlyOutgoing) {
    BuildAddressBook();
    BuildRecordDb(
        recordDb_, "call-history.sql", 280,
        [](Database& db, int n) {
            const std::string address = n == 200   ? "+1 555 0777"
                                        : n == 201 ? "+44 20 7946 0958"
                                                   : "+1 555 3" + std::to_string(1000 + n);
            AddCall(db, address, n == 201 ? 20 : (n % 2 == 0 ? 5 : 4), n);
        },
        "DELETE FROM call WHERE ROWID IN (150, 200, 201, 280)");
    const std::vector<Row> rows = Carve(recordDb_, kCalls, kIos5, LineRule::NeedsTab);

    CallRecord* calls = nullptr;
    ASSERT_EQ(qvGetCallHistory(recordDb16_.c_str(), nullptr, &calls, nullptr, nullptr),
              DBQUARRY_OK);
    qvGetDeleteCallHistory(addressBook16_.c_str(), recordDb16_.c_str(), &calls);
    const auto all = Records(calls);
    ASSERT_EQ(all.size(), 276 + rows.size());
    int outgoing = 0;
    int incoming = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const CallRecord& call = *all[276 + i];
        EXPECT_EQ(call.rowid, 0);
        EXPECT_EQ(call.deleted, 1);
        EXPECT_EQ(Utf8(call.address), std::string(rows[i].first));
        const bool isOutgoing = rows[i].second == "Outgoing";
        EXPECT_EQ(call.flags, isOutgoing ? 5 : 4) << rows[i].second;
        ++(isOutgoing ? outgoing : incoming);
    }
    // The shared number's two owners and the "N/A" direction both read as incoming.
    EXPECT_GE(outgoing, 1);
    EXPECT_GE(incoming, 2);
    ExpectFolderUnchanged();
}

TEST_F(DeletedTest, NullListsMissingFilesAndNullPathsDoNothing) {
    BuildAddressBook();
    const std::u16string missing = PathToUtf16(dir_ / "missing.db");
    qvGetDeletedMsg_iOS5(addressBook16_.c_str(), missing.c_str(), nullptr, nullptr);
    qvGetDeletedMsg_iOS6(addressBook16_.c_str(), missing.c_str(), nullptr, nullptr);
    qvGetDeletedContacts(addressBook16_.c_str(), nullptr, nullptr);
    qvGetDeleteCallHistory(nullptr, nullptr, nullptr);

    Message_iOS5* messages = nullptr;
    qvGetDeletedMsg_iOS5(addressBook16_.c_str(), recordDb16_.c_str(), &messages, nullptr);
    Person* persons = nullptr;
    qvGetDeletedContacts(nullptr, nullptr, &persons);
    CallRecord* calls = nullptr;
    qvGetDeleteCallHistory(addressBook16_.c_str(), missing.c_str(), &calls);
    EXPECT_EQ(messages, nullptr);
    EXPECT_EQ(persons, nullptr);
    EXPECT_EQ(calls, nullptr);
    EXPECT_FALSE(fs::exists(dir_ / "missing.db"));
}

}  // namespace
