// The message readers on iOS 5 (both physical orders) and iOS 6 sms.db files built with SQLite
// from the real layouts, with contact names from an AddressBook read by qvGetContactInfo.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "dbquarry/dbquarry.h"
#include "platform/textcodec.h"
#include "tests/dbquarry/lists_test.h"
#include "tests/support/tempdir.h"
#include "tools/dbfixtures/dbfixtures.h"

namespace {

namespace fs = std::filesystem;
using namespace pixhaven::dbfixtures;
using namespace pixhaven::test;
using pixhaven::platform::PathToUtf16;

class MessagesTest : public ListsTest {
protected:
    // John Smith owns 111; 333 is first a value without a person, then Ann's; Émile Zoë (no
    // last name, a middle one) owns 444.
    void ReadContacts() {
        const fs::path path = dir_ / "AddressBook.sqlitedb";
        {
            Database db = CreateFromSchema(path, "addressbook.sql");
            db.Exec(
                "INSERT INTO ABPerson (ROWID, First, Last) VALUES (1, 'John', 'Smith');"
                "INSERT INTO ABPerson (ROWID, First, Last) VALUES (2, 'Ann', 'Lee');"
                "INSERT INTO ABPerson (ROWID, First, Middle) VALUES (3, 'Émile', 'Zoë');"
                "INSERT INTO ABMultiValue (UID, record_id, property, identifier, label, value) "
                "VALUES (1, 1, 3, 0, 1, '111'), (2, -1, 3, 0, 1, '333'), (3, 2, 3, 0, 1, '333'),"
                "(4, 3, 3, 0, 1, '444'), (5, 9, 3, 0, 1, '555');");
        }
        Person* persons = nullptr;
        MultiValue* values = nullptr;
        ASSERT_EQ(qvGetContactInfo(PathToUtf16(path).c_str(), nullptr, &persons, &values, nullptr,
                                   nullptr, nullptr),
                  DBQUARRY_OK);
        ASSERT_NE(persons, nullptr);
        ASSERT_NE(values, nullptr);
    }
};

// ---- iOS 5 ----

Database Ios5Database(const fs::path& path, const char* schema = "ios5-sms-upgraded.sql") {
    return CreateFromSchema(path, schema);
}

// Group 1 (one-to-one): an empty member, then 111 and 222. Group 2 (type 1): 111, 333, 444,
// 555, 666. Group 3: no member. Group 4: only an empty and a NULL address.
void AddGroups(Database& db) {
    db.Exec(
        "INSERT INTO msg_group (ROWID, type) VALUES (1, 0), (2, 1), (3, 1), (4, 1);"
        "INSERT INTO group_member (group_id, address) VALUES (1, ''), (2, '111'), (1, '111'),"
        "(1, '222'), (2, '333'), (2, '444'), (2, '555'), (2, '666'), (4, ''), (4, NULL);");
}

std::vector<std::string> GroupAddresses(const MsgGroup_iOS5* groups) {
    std::vector<std::string> addresses;
    for (const MsgGroup_iOS5* group : Records(groups)) {
        addresses.push_back(Utf8(group->address).value_or("<null>"));
    }
    return addresses;
}

TEST_F(MessagesTest, Ios5GroupsTakeMemberAddressesAndCallBackPerGroup) {
    {
        Database db = Ios5Database(dir_ / "sms.db");
        AddGroups(db);
    }
    int32_t count = -1;
    MsgGroup_iOS5* groups = nullptr;
    Seen seen;
    ASSERT_EQ(qvGetMessage_iOS5(Path("sms.db").c_str(), &count, &groups, nullptr, nullptr,
                                Remember<MsgGroup_iOS5>, &seen),
              DBQUARRY_OK);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(GroupAddresses(groups),
              (std::vector<std::string>{"111;", "111;333;444;555;666;", "<null>", "<null>"}));
    EXPECT_EQ(groups->rowid, 1);
    EXPECT_EQ(groups->deleted, 0);
    ASSERT_EQ(seen.records.size(), 4u);
    EXPECT_EQ(seen.records[0], groups);
    EXPECT_EQ(seen.records[3], groups->nextRecord->nextRecord->nextRecord);
    EXPECT_EQ(seen.userData[0], &seen);
}

TEST_F(MessagesTest, Ios5GroupAddressesCarryContactNames) {
    {
        Database db = Ios5Database(dir_ / "sms.db");
        AddGroups(db);
    }
    ReadContacts();
    MsgGroup_iOS5* groups = nullptr;
    ASSERT_EQ(qvGetMessage_iOS5(Path("sms.db").c_str(), nullptr, &groups, nullptr, nullptr, nullptr,
                                nullptr),
              DBQUARRY_OK);
    // 333: the first equal value has no person. 555: its person does not exist.
    EXPECT_EQ(
        GroupAddresses(groups),
        (std::vector<std::string>{"111(JohnSmith);", "111(JohnSmith);333;444(ÉmileZoë);555;666;",
                                  "<null>", "<null>"}));

    // Freed contacts leave the addresses plain again.
    qvFreeContacts();
    ASSERT_EQ(qvGetMessage_iOS5(Path("sms.db").c_str(), nullptr, &groups, nullptr, nullptr, nullptr,
                                nullptr),
              DBQUARRY_OK);
    EXPECT_EQ(GroupAddresses(groups)[1], "111;333;444;555;666;");
}

class Ios5LayoutTest : public MessagesTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(Ios5LayoutTest, MessagesReadMadridColumnsOnlyForIMessages) {
    {
        Database db = Ios5Database(dir_ / "sms.db", GetParam());
        db.Exec(
            "INSERT INTO madrid_chat (ROWID, account_id) VALUES (7, NULL), (8, 'ACC'), (9, "
            "'ACC'), (10, 'OTHER');");
        // An SMS whose madrid columns are set, an iMessage of chat ACC, an iMessage without an
        // account guid, an iMessage whose guid names no chat.
        const std::string columns =
            "INSERT INTO message (ROWID, address, date, text, flags, group_id, subject, "
            "madrid_handle, madrid_account_guid, madrid_attachmentInfo, madrid_account, "
            "madrid_flags, is_madrid, madrid_date_delivered) VALUES ";
        db.Run(columns +
                   "(1, '+1 555', 1320000000, 'hi', 2, 4, NULL, 'h', 'ACC', ?1, 'a', 5, "
                   "0, 77)",
               {Blob{"info"}});
        db.Run(columns +
                   "(2, NULL, 3000000000, '', 3, 4, 'subj', 'me@x', 'ACC', ?1, "
                   "'acct', 12345, 1, 8589934592)",
               {Blob{std::string("ab\0cd", 5)}});
        db.Run(columns +
                   "(3, 'x', 1, 'caf\xC3\xA9 \xF0\x9F\x98\x80', 0, 5, NULL, NULL, NULL, ?1, "
                   "NULL, 0, 1, 0)",
               {Blob{"abcd"}});
        db.Run(columns + "(4, 'y', 1, NULL, 0, 6, NULL, NULL, 'NONE', ?1, NULL, 0, 1, 0)",
               {Null{}});
    }
    Message_iOS5* messages = nullptr;
    ASSERT_EQ(qvGetMessage_iOS5(Path("sms.db").c_str(), nullptr, nullptr, &messages, nullptr,
                                nullptr, nullptr),
              DBQUARRY_OK);
    const auto list = Records(messages);
    ASSERT_EQ(list.size(), 4u);

    const Message_iOS5& sms = *list[0];
    EXPECT_EQ(sms.rowid, 1);
    EXPECT_EQ(Utf8(sms.address), "+1 555");
    EXPECT_EQ(sms.date, 1320000000);
    EXPECT_EQ(Utf8(sms.text), "hi");
    EXPECT_EQ(sms.flags, 2);
    EXPECT_EQ(sms.group_id, 4);
    EXPECT_EQ(sms.subject, nullptr);
    EXPECT_EQ(sms.is_madrid, 0);
    EXPECT_EQ(sms.madrid_handle, nullptr);
    EXPECT_EQ(sms.madrid_account_guid, nullptr);
    EXPECT_EQ(sms.madrid_attachmentinfo, nullptr);
    EXPECT_EQ(sms.attachmentInfoLength, 0);
    EXPECT_EQ(sms.madrid_flags, 0);
    EXPECT_EQ(sms.madrid_date_delivered, 0);

    const Message_iOS5& imessage = *list[1];
    EXPECT_EQ(imessage.address, nullptr);
    EXPECT_EQ(imessage.date, 3000000000);
    ASSERT_NE(imessage.text, nullptr);
    EXPECT_EQ(imessage.text[0], u'\0');
    EXPECT_EQ(Utf8(imessage.subject), "subj");
    EXPECT_EQ(imessage.group_id, 8);  // the first chat of account ACC
    EXPECT_EQ(Utf8(imessage.madrid_handle), "me@x");
    EXPECT_EQ(Utf8(imessage.madrid_account_guid), "ACC");
    EXPECT_EQ(Utf8(imessage.madrid_account), "acct");
    EXPECT_EQ(imessage.madrid_flags, 12345);
    EXPECT_EQ(imessage.madrid_date_delivered, 8589934592);
    // Copied as a zero-terminated string into a buffer of the column's length.
    EXPECT_EQ(imessage.attachmentInfoLength, 5);
    EXPECT_EQ(std::string(imessage.madrid_attachmentinfo, 5), std::string("ab\0\0\0", 5));

    const Message_iOS5& noAccount = *list[2];
    EXPECT_EQ(noAccount.group_id, 5);
    EXPECT_EQ(Utf8(noAccount.text), "caf\xC3\xA9 \xF0\x9F\x98\x80");
    EXPECT_EQ(std::u16string(noAccount.text), u"café 😀");
    EXPECT_EQ(noAccount.attachmentInfoLength, 4);
    EXPECT_EQ(std::string(noAccount.madrid_attachmentinfo, 4), std::string("abc\0", 4));

    EXPECT_EQ(list[3]->group_id, 6);
    EXPECT_EQ(list[3]->text, nullptr);
    EXPECT_EQ(list[3]->madrid_attachmentinfo, nullptr);
}

INSTANTIATE_TEST_SUITE_P(BothOrders, Ios5LayoutTest,
                         ::testing::Values("ios5-sms-upgraded.sql", "ios5-sms-fresh.sql"));

TEST_F(MessagesTest, Ios5PiecesKeepBytesAndTerminateText) {
    {
        Database db = Ios5Database(dir_ / "sms.db");
        const char* insert =
            "INSERT INTO msg_pieces (message_id, data, content_type) VALUES (?1, ?2, ?3)";
        db.Run(insert, {std::int64_t{1}, Blob{"hello"}, std::string("text/plain")});
        db.Run(insert, {std::int64_t{1}, Blob{std::string("\xFF\xD8\0\xFF\xD9", 5)},
                        std::string("image/jpeg")});
        db.Run(insert, {std::int64_t{2}, Blob{"GIF89"}, std::string("image/gif")});
        db.Run(insert, {std::int64_t{3}, Null{}, std::string("image/png")});
        db.Run(insert, {std::int64_t{4}, Blob{""}, std::string("text/plain")});
    }
    MsgPiece_iOS5* pieces = nullptr;
    ASSERT_EQ(qvGetMessage_iOS5(Path("sms.db").c_str(), nullptr, nullptr, nullptr, &pieces, nullptr,
                                nullptr),
              DBQUARRY_OK);
    const auto list = Records(pieces);
    ASSERT_EQ(list.size(), 4u);  // the GIF is not selected
    EXPECT_EQ(list[0]->message_id, 1);
    EXPECT_EQ(list[0]->isBinary, 0);
    EXPECT_EQ(list[0]->length, 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(list[0]->data), 6),
              std::string("hello\0", 6));
    EXPECT_EQ(list[1]->isBinary, 1);
    EXPECT_EQ(list[1]->length, 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(list[1]->data), 5),
              std::string("\xFF\xD8\0\xFF\xD9", 5));
    for (const MsgPiece_iOS5* empty : {list[2], list[3]}) {
        EXPECT_EQ(empty->data, nullptr);
        EXPECT_EQ(empty->length, 0);
    }
    EXPECT_EQ(list[2]->isBinary, 1);
    EXPECT_EQ(list[3]->isBinary, 0);
}

TEST_F(MessagesTest, Ios5OptionalTablesMayBeMissing) {
    {
        Database db = Ios5Database(dir_ / "sms.db");
        AddGroups(db);
        db.Exec(
            "INSERT INTO message (ROWID, group_id, madrid_account_guid, is_madrid) VALUES (1, 3, "
            "'ACC', 1);"
            "DROP TABLE group_member; DROP TABLE madrid_chat; DROP TABLE msg_pieces;");
    }
    MsgGroup_iOS5* groups = nullptr;
    Message_iOS5* messages = nullptr;
    MsgPiece_iOS5* pieces = reinterpret_cast<MsgPiece_iOS5*>(this);
    ASSERT_EQ(qvGetMessage_iOS5(Path("sms.db").c_str(), nullptr, &groups, &messages, &pieces,
                                nullptr, nullptr),
              DBQUARRY_OK);
    EXPECT_EQ(pieces, reinterpret_cast<MsgPiece_iOS5*>(this));  // skipped, not written
    EXPECT_EQ(GroupAddresses(groups), std::vector<std::string>(4, "<null>"));
    ASSERT_NE(messages, nullptr);
    EXPECT_EQ(messages->group_id, 3);
}

TEST_F(MessagesTest, Ios5MissingMainTablesGiveTheirCodes) {
    {
        Database db = Ios5Database(dir_ / "nogroups.db");
        db.Exec(
            "INSERT INTO msg_pieces (message_id, data, content_type) VALUES (1, 'x', "
            "'text/plain'); DROP TABLE msg_group;");
    }
    {
        Database db = Ios5Database(dir_ / "nomessages.db");
        AddGroups(db);
        db.Exec("DROP TABLE message;");
    }
    int32_t count = -1;
    MsgGroup_iOS5* groups = nullptr;
    Message_iOS5* messages = nullptr;
    MsgPiece_iOS5* pieces = nullptr;
    EXPECT_EQ(qvGetMessage_iOS5(Path("nogroups.db").c_str(), &count, &groups, &messages, &pieces,
                                nullptr, nullptr),
              DBQUARRY_PREPARE_FAILED);
    EXPECT_EQ(count, -1);
    EXPECT_EQ(pieces, nullptr);

    EXPECT_EQ(qvGetMessage_iOS5(Path("nogroups.db").c_str(), nullptr, &groups, &messages, &pieces,
                                nullptr, nullptr),
              DBQUARRY_GROUPS_FAILED);
    ASSERT_NE(pieces, nullptr);  // read before the groups
    EXPECT_EQ(groups, nullptr);
    EXPECT_EQ(messages, nullptr);

    Seen seen;
    EXPECT_EQ(qvGetMessage_iOS5(Path("nomessages.db").c_str(), &count, &groups, &messages, nullptr,
                                Remember<MsgGroup_iOS5>, &seen),
              DBQUARRY_MESSAGES_FAILED);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(Records(groups).size(), 4u);
    EXPECT_EQ(seen.records.size(), 4u);
    EXPECT_EQ(messages, nullptr);
}

TEST_F(MessagesTest, Ios5EmptyTablesGiveNullLists) {
    { Database db = Ios5Database(dir_ / "sms.db"); }
    int32_t count = -1;
    MsgGroup_iOS5* groups = reinterpret_cast<MsgGroup_iOS5*>(this);
    Message_iOS5* messages = reinterpret_cast<Message_iOS5*>(this);
    MsgPiece_iOS5* pieces = reinterpret_cast<MsgPiece_iOS5*>(this);
    ASSERT_EQ(qvGetMessage_iOS5(Path("sms.db").c_str(), &count, &groups, &messages, &pieces,
                                nullptr, nullptr),
              DBQUARRY_OK);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(groups, nullptr);
    EXPECT_EQ(messages, nullptr);
    EXPECT_EQ(pieces, nullptr);
}

// ---- iOS 5 iMessage attachments ----

struct MadridCall {
    std::string guid;
    std::string fileName;
    int32_t kind;
    void* userData;
};

void RecordMadrid(const char* guid, const char* fileName, int32_t kind, void* userData) {
    static_cast<std::vector<MadridCall>*>(userData)->push_back({guid, fileName, kind, userData});
}

TEST_F(MessagesTest, MadridAttachmentsReportJpegAndPngOnly) {
    {
        Database db = Ios5Database(dir_ / "sms.db");
        db.Exec(
            "INSERT INTO madrid_attachment (attachment_guid, filename, uti_type, mime_type) VALUES"
            "('G1', '~/Library/SMS/Attachments/a.jpg', 'public.jpeg', 'image/jpeg'),"
            "('G2', 'b.gif', 'com.compuserve.gif', 'image/gif'),"
            "('G3', 'c.JPG', NULL, 'IMAGE/JPEG'),"
            "(NULL, NULL, NULL, 'image/png'),"
            "('G5', 'e.png', NULL, NULL),"
            "('G6', 'Ünïcødé.png', NULL, 'image/png');");
    }
    std::vector<MadridCall> calls;
    ASSERT_EQ(qvGetMadridAttachment_iOS5(Path("sms.db").c_str(), RecordMadrid, &calls),
              DBQUARRY_OK);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].guid, "G1");
    EXPECT_EQ(calls[0].fileName, "~/Library/SMS/Attachments/a.jpg");  // kept as stored
    EXPECT_EQ(calls[0].kind, 2);
    EXPECT_EQ(calls[0].userData, &calls);
    EXPECT_EQ(calls[1].guid, "");
    EXPECT_EQ(calls[1].fileName, "");
    EXPECT_EQ(calls[2].fileName, "Ünïcødé.png");

    EXPECT_EQ(qvGetMadridAttachment_iOS5(Path("sms.db").c_str(), nullptr, nullptr), DBQUARRY_OK);
}

TEST_F(MessagesTest, MadridAttachmentsWithoutTheTableGiveTwo) {
    {
        Database db = Ios5Database(dir_ / "sms.db");
        db.Exec("DROP TABLE madrid_attachment;");
    }
    std::vector<MadridCall> calls;
    EXPECT_EQ(qvGetMadridAttachment_iOS5(Path("sms.db").c_str(), RecordMadrid, &calls),
              DBQUARRY_PREPARE_FAILED);
    EXPECT_TRUE(calls.empty());
}

// ---- iOS 6 ----

// Handles 1 (111), 2 (333), 3 (999); messages 1..4; attachments: message 1 a JPEG under ~/,
// message 2 a PNG, message 3 a JPEG named with a single ~ and one with a NULL name.
void BuildIos6(const fs::path& path) {
    Database db = CreateFromSchema(path, "ios6-sms.sql");
    db.Exec(
        "INSERT INTO handle (ROWID, id, service, uncanonicalized_id) VALUES"
        "(1, '111', 'SMS', '(111)'), (2, '333', 'iMessage', NULL), (3, '999', 'SMS', '');"
        "INSERT INTO message (ROWID, guid, text, handle_id, subject, service, date, is_from_me,"
        "is_system_message) VALUES"
        "(1, 'G-1', 'Grüße 👋', 1, NULL, 'SMS', 370000000, 1, 0),"
        "(2, 'G-2', NULL, 2, 'subj', 'iMessage', 8589934592, 0, 0),"
        "(3, 'G-3', '', 3, '', NULL, 0, 0, 1),"
        "(4, 'G-4', 'plain', 0, NULL, 'SMS', 1, 0, 0);"
        "INSERT INTO attachment (ROWID, guid, filename, mime_type, is_outgoing) VALUES"
        "(1, 'A1', '~/Library/SMS/Attachments/x.jpg', 'image/jpeg', 1),"
        "(2, 'A2', '~/Library/SMS/Attachments/y.png', 'image/png', 0),"
        "(3, 'A3', '~Library/z.jpg', 'image/jpeg', 0),"
        "(4, 'A4', NULL, 'image/jpeg', 0);"
        "INSERT INTO message_attachment_join (message_id, attachment_id) VALUES"
        "(1, 1), (2, 2), (3, 3), (3, 4);");
}

TEST_F(MessagesTest, Ios6ReadsHandlesAttachmentsAndMessages) {
    BuildIos6(dir_ / "sms.db");
    int32_t count = -1;
    Handle_iOS6* handles = nullptr;
    Message_iOS6* messages = nullptr;
    Attachment_iOS6* attachments = nullptr;
    Seen seen;
    ASSERT_EQ(qvGetMessage_iOS6(Path("sms.db").c_str(), &count, &handles, &messages, &attachments,
                                Remember<Handle_iOS6>, &seen),
              DBQUARRY_OK);
    EXPECT_EQ(count, 3);
    const auto handleList = Records(handles);
    ASSERT_EQ(handleList.size(), 3u);
    EXPECT_EQ(handleList[0]->rowid, 1);
    EXPECT_EQ(Utf8(handleList[0]->id), "111");
    EXPECT_EQ(Utf8(handleList[0]->service), "SMS");
    EXPECT_EQ(Utf8(handleList[0]->uncanonicalized_id), "(111)");
    EXPECT_EQ(handleList[1]->uncanonicalized_id, nullptr);
    EXPECT_EQ(Utf8(handleList[2]->uncanonicalized_id), "");
    // One callback per handle, none for attachments or messages.
    ASSERT_EQ(seen.records.size(), 3u);
    EXPECT_EQ(seen.records[1], handleList[1]);
    EXPECT_EQ(seen.userData[1], &seen);

    const auto attachmentList = Records(attachments);
    ASSERT_EQ(attachmentList.size(), 3u);  // JPEG only
    EXPECT_EQ(attachmentList[0]->message_id, 1);
    EXPECT_EQ(Utf8(attachmentList[0]->filename), "Library/SMS/Attachments/x.jpg");
    EXPECT_EQ(Utf8(attachmentList[1]->filename), "~Library/z.jpg");
    EXPECT_EQ(attachmentList[2]->filename, nullptr);

    const auto list = Records(messages);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0]->rowid, 1);
    EXPECT_EQ(Utf8(list[0]->guid), "G-1");
    EXPECT_EQ(std::u16string(list[0]->text), u"Grüße 👋");
    EXPECT_EQ(list[0]->handle_id, 1);
    EXPECT_EQ(list[0]->subject, nullptr);
    EXPECT_EQ(list[0]->date, 370000000);
    EXPECT_EQ(list[0]->is_from_me, 1);
    EXPECT_EQ(list[1]->text, nullptr);
    EXPECT_EQ(Utf8(list[1]->subject), "subj");
    EXPECT_EQ(list[1]->date, 8589934592);
    EXPECT_EQ(Utf8(list[2]->text), "");
    EXPECT_EQ(list[2]->service, nullptr);
    EXPECT_EQ(list[2]->is_system_message, 1);
    // A JPEG makes the flag; message 2 has a PNG only.
    EXPECT_EQ(list[0]->hasAttachment, 1);
    EXPECT_EQ(list[1]->hasAttachment, 0);
    EXPECT_EQ(list[2]->hasAttachment, 1);
    EXPECT_EQ(list[3]->hasAttachment, 0);
}

TEST_F(MessagesTest, Ios6AttachmentFlagComesFromTheHeldAttachmentList) {
    BuildIos6(dir_ / "sms.db");
    Attachment_iOS6* attachments = nullptr;
    Message_iOS6* messages = nullptr;
    ASSERT_EQ(qvGetMessage_iOS6(Path("sms.db").c_str(), nullptr, nullptr, &messages, nullptr,
                                nullptr, nullptr),
              DBQUARRY_OK);
    EXPECT_EQ(messages->hasAttachment, 0);  // nothing held yet
    ASSERT_EQ(qvGetMessage_iOS6(Path("sms.db").c_str(), nullptr, nullptr, nullptr, &attachments,
                                nullptr, nullptr),
              DBQUARRY_OK);
    ASSERT_EQ(qvGetMessage_iOS6(Path("sms.db").c_str(), nullptr, nullptr, &messages, nullptr,
                                nullptr, nullptr),
              DBQUARRY_OK);
    EXPECT_EQ(messages->hasAttachment, 1);
}

TEST_F(MessagesTest, Ios6HandleIdsCarryContactNamesOnce) {
    BuildIos6(dir_ / "sms.db");
    ReadContacts();
    Handle_iOS6* handles = nullptr;
    ASSERT_EQ(qvGetMessage_iOS6(Path("sms.db").c_str(), nullptr, &handles, nullptr, nullptr,
                                nullptr, nullptr),
              DBQUARRY_OK);
    const auto list = Records(handles);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(Utf8(list[0]->id), "111(JohnSmith);");
    EXPECT_EQ(Utf8(list[1]->id), "333");  // the first equal value has no person
    EXPECT_EQ(Utf8(list[2]->id), "999");
}

TEST_F(MessagesTest, Ios6OptionalAttachmentsMayBeMissing) {
    BuildIos6(dir_ / "sms.db");
    {
        Database db(dir_ / "sms.db");
        db.Exec("DROP TABLE attachment;");
    }
    Message_iOS6* messages = nullptr;
    Attachment_iOS6* attachments = reinterpret_cast<Attachment_iOS6*>(this);
    ASSERT_EQ(qvGetMessage_iOS6(Path("sms.db").c_str(), nullptr, nullptr, &messages, &attachments,
                                nullptr, nullptr),
              DBQUARRY_OK);
    EXPECT_EQ(attachments, reinterpret_cast<Attachment_iOS6*>(this));
    for (const Message_iOS6* message : Records(messages)) {
        EXPECT_EQ(message->hasAttachment, 0);
    }
}

TEST_F(MessagesTest, Ios6MissingMainTablesGiveTheirCodes) {
    BuildIos6(dir_ / "nohandles.db");
    BuildIos6(dir_ / "nomessages.db");
    {
        Database db(dir_ / "nohandles.db");
        db.Exec("DROP TABLE handle;");
    }
    {
        Database db(dir_ / "nomessages.db");
        db.Exec("DROP TABLE message;");
    }
    int32_t count = -1;
    Handle_iOS6* handles = nullptr;
    Message_iOS6* messages = nullptr;
    Attachment_iOS6* attachments = nullptr;
    EXPECT_EQ(qvGetMessage_iOS6(Path("nohandles.db").c_str(), &count, &handles, &messages,
                                &attachments, nullptr, nullptr),
              DBQUARRY_PREPARE_FAILED);
    EXPECT_EQ(count, -1);
    EXPECT_EQ(qvGetMessage_iOS6(Path("nohandles.db").c_str(), nullptr, &handles, &messages,
                                &attachments, nullptr, nullptr),
              DBQUARRY_HANDLES_FAILED);
    EXPECT_EQ(handles, nullptr);
    EXPECT_EQ(attachments, nullptr);

    EXPECT_EQ(qvGetMessage_iOS6(Path("nomessages.db").c_str(), &count, &handles, &messages,
                                &attachments, nullptr, nullptr),
              DBQUARRY_MESSAGES_FAILED);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(Records(handles).size(), 3u);
    EXPECT_EQ(Records(attachments).size(), 3u);
    EXPECT_EQ(messages, nullptr);
}

// ---- both ----

TEST_F(MessagesTest, MissingFileGivesOneAndCreatesNothing) {
    const std::u16string missing = Path("missing.db");
    int32_t count = -7;
    auto* sentinel = reinterpret_cast<void*>(this);
    auto* groups = static_cast<MsgGroup_iOS5*>(sentinel);
    auto* messages5 = static_cast<Message_iOS5*>(sentinel);
    auto* pieces = static_cast<MsgPiece_iOS5*>(sentinel);
    EXPECT_EQ(
        qvGetMessage_iOS5(missing.c_str(), &count, &groups, &messages5, &pieces, nullptr, nullptr),
        DBQUARRY_OPEN_FAILED);
    EXPECT_EQ(qvGetMadridAttachment_iOS5(missing.c_str(), RecordMadrid, nullptr),
              DBQUARRY_OPEN_FAILED);
    auto* handles = static_cast<Handle_iOS6*>(sentinel);
    auto* messages6 = static_cast<Message_iOS6*>(sentinel);
    auto* attachments = static_cast<Attachment_iOS6*>(sentinel);
    EXPECT_EQ(qvGetMessage_iOS6(missing.c_str(), &count, &handles, &messages6, &attachments,
                                nullptr, nullptr),
              DBQUARRY_OPEN_FAILED);
    EXPECT_EQ(
        qvGetMessage_iOS6(nullptr, &count, &handles, &messages6, &attachments, nullptr, nullptr),
        DBQUARRY_OPEN_FAILED);
    EXPECT_EQ(count, -7);
    EXPECT_EQ(groups, sentinel);
    EXPECT_EQ(messages5, sentinel);
    EXPECT_EQ(pieces, sentinel);
    EXPECT_EQ(handles, sentinel);
    EXPECT_EQ(messages6, sentinel);
    EXPECT_EQ(attachments, sentinel);
    EXPECT_TRUE(fs::is_empty(dir_.path()));
}

TEST_F(MessagesTest, ReadingTwiceWithoutFreeingLeaksNothing) {
    BuildIos6(dir_ / "sms.db");
    for (int i = 0; i < 2; ++i) {
        Handle_iOS6* handles = nullptr;
        Message_iOS6* messages = nullptr;
        Attachment_iOS6* attachments = nullptr;
        ASSERT_EQ(qvGetMessage_iOS6(Path("sms.db").c_str(), nullptr, &handles, &messages,
                                    &attachments, nullptr, nullptr),
                  DBQUARRY_OK);
    }
    // LeakSanitizer checks the free in TearDown released both reads.
}

}  // namespace
