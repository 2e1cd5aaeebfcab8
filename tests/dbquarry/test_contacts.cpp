// The AddressBook readers on databases built from the device layout.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "dbquarry/dbquarry.h"
#include "platform/textcodec.h"
#include "tests/dbquarry/lists_test.h"
#include "tests/support/tempdir.h"
#include "tools/dbfixtures/dbfixtures.h"

namespace {

using namespace pixhaven::dbfixtures;
using namespace pixhaven::test;
using pixhaven::platform::PathToUtf16;

// Sets TZ for one test and puts the previous zone back.
class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            previous_ = old;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone() {
        if (previous_) {
            setenv("TZ", previous_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    TimeZone(const TimeZone&) = delete;
    TimeZone& operator=(const TimeZone&) = delete;

private:
    std::optional<std::string> previous_;
};

class ContactsTest : public ::testing::Test {
protected:
    void SetUp() override {
        db_.emplace(CreateFromSchema(dir_ / "AddressBook.sqlitedb", "addressbook.sql"));
    }
    void TearDown() override { FreeAllLists(); }

    void AddPerson(std::int64_t rowid, const Value& first, const Value& birthday) {
        db_->Run(
            "INSERT INTO ABPerson (ROWID, First, Last, Middle, Birthday, CreationDate, "
            "ModificationDate, IsPreferredName) VALUES (?1, ?2, 'Last', NULL, ?3, 376000000, "
            "376500000, 1)",
            {rowid, first, birthday});
    }
    void AddValue(std::int64_t recordId, std::int64_t property, const Value& label,
                  const Value& value) {
        db_->Run(
            "INSERT INTO ABMultiValue (record_id, property, identifier, label, value) VALUES "
            "(?1, ?2, 0, ?3, ?4)",
            {recordId, property, label, value});
    }
    std::u16string path() const { return PathToUtf16(dir_ / "AddressBook.sqlitedb"); }

    // The birthday field of a single person whose stored birthday is `stored`.
    std::optional<std::u16string> BirthdayOf(const Value& stored) {
        AddPerson(1, std::string("A"), stored);
        Person* persons = nullptr;
        EXPECT_EQ(
            qvGetContactInfo(path().c_str(), nullptr, &persons, nullptr, nullptr, nullptr, nullptr),
            DBQUARRY_OK);
        EXPECT_NE(persons, nullptr);
        return persons == nullptr ? std::nullopt : Text(persons->birthday);
    }

    TempDir dir_;
    std::optional<Database> db_;
};

TEST_F(ContactsTest, PersonsCarryTheirFirstPhoneAndGroupsInRowOrder) {
    AddPerson(1, std::string("Ann"), Null{});
    AddPerson(2, std::string(""), Null{});
    AddPerson(3, Null{}, Null{});
    db_->Exec(
        "INSERT INTO ABMultiValueLabel (rowid, value) VALUES (1, '_$!<Mobile>!$_');"
        "INSERT INTO ABGroup (ROWID, Name) VALUES (1, 'Work'), (2, 'Family');"
        "INSERT INTO ABGroupMembers (group_id, member_type, member_id) VALUES (2, 0, 1), "
        "(1, 0, 1), (1, 0, 3);");
    AddValue(1, 4, std::int64_t{1}, std::string("ann@example.com"));  // not a phone
    AddValue(1, 3, std::int64_t{1}, Null{});                          // a phone without a value
    AddValue(1, 3, std::int64_t{77}, std::string("+1 555 0101"));     // label without a row
    AddValue(1, 3, std::int64_t{1}, std::string("+1 555 0102"));
    AddValue(3, 3, std::int64_t{1}, std::string("\xe2\x98\x8e 0103"));

    std::int32_t count = -1;
    Person* persons = nullptr;
    MultiValue* values = nullptr;
    MultiValueEntry* entries = nullptr;
    std::vector<std::int32_t> seen;
    const auto callback = [](void* record, void* userData) {
        static_cast<std::vector<std::int32_t>*>(userData)->push_back(
            static_cast<Person*>(record)->rowid);
    };
    ASSERT_EQ(
        qvGetContactInfo(path().c_str(), &count, &persons, &values, &entries, callback, &seen),
        DBQUARRY_OK);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(seen, (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_EQ(entries, nullptr);

    ASSERT_NE(persons, nullptr);
    EXPECT_EQ(Text(persons->first), u"Ann");
    EXPECT_EQ(Text(persons->middle), std::nullopt);
    EXPECT_EQ(Text(persons->phone), u"+1 555 0101");
    EXPECT_EQ(Text(persons->groups), u"Family;Work;");
    EXPECT_EQ(persons->creationdate, 376000000);
    EXPECT_EQ(persons->ispreferredname, 1);
    const Person* second = persons->nextRecord;
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(Text(second->first), u"");
    EXPECT_EQ(Text(second->phone), std::nullopt);
    EXPECT_EQ(Text(second->groups), std::nullopt);
    const Person* third = second->nextRecord;
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(Text(third->first), std::nullopt);
    EXPECT_EQ(Text(third->phone), u"\u260e 0103");
    EXPECT_EQ(Text(third->groups), u"Work;");
    EXPECT_EQ(third->nextRecord, nullptr);

    ASSERT_NE(values, nullptr);
    EXPECT_EQ(Text(values->label), u"_$!<Mobile>!$_");
    EXPECT_EQ(values->property, 4);
    const MultiValue* unlabelled = values->nextRecord->nextRecord;
    EXPECT_EQ(Text(unlabelled->label), u"77");
    EXPECT_EQ(unlabelled->record_id, 1);
}

TEST_F(ContactsTest, PhoneComesOnlyFromTheMultiValuesOfThisCall) {
    AddPerson(1, std::string("Ann"), Null{});
    AddValue(1, 3, std::int64_t{1}, std::string("+1 555 0101"));
    Person* persons = nullptr;
    ASSERT_EQ(
        qvGetContactInfo(path().c_str(), nullptr, &persons, nullptr, nullptr, nullptr, nullptr),
        DBQUARRY_OK);
    ASSERT_NE(persons, nullptr);
    EXPECT_EQ(persons->phone, nullptr);
}

TEST_F(ContactsTest, CountAloneBuildsNothing) {
    AddPerson(1, std::string("Ann"), Null{});
    AddPerson(2, std::string("Bob"), Null{});
    std::int32_t count = 0;
    ASSERT_EQ(qvGetContactInfo(path().c_str(), &count, nullptr, nullptr, nullptr, nullptr, nullptr),
              DBQUARRY_OK);
    EXPECT_EQ(count, 2);
}

TEST_F(ContactsTest, EntriesCarryTheirKeyText) {
    db_->Exec(
        "INSERT INTO ABMultiValueEntryKey (rowid, value) VALUES (1, 'Street'), (2, 'City');"
        "INSERT INTO ABMultiValueEntry (parent_id, key, value) VALUES (5, 2, 'Springfield'), "
        "(5, 1, '');");
    MultiValueEntry* entries = nullptr;
    ASSERT_EQ(
        qvGetContactInfo(path().c_str(), nullptr, nullptr, nullptr, &entries, nullptr, nullptr),
        DBQUARRY_OK);
    ASSERT_NE(entries, nullptr);
    EXPECT_EQ(entries->parent_id, 5);
    EXPECT_EQ(Text(entries->key), u"City");
    EXPECT_EQ(Text(entries->value), u"Springfield");
    ASSERT_NE(entries->nextRecord, nullptr);
    EXPECT_EQ(Text(entries->nextRecord->value), u"");
}

TEST_F(ContactsTest, MissingEntryTableGivesCode2WithTheOtherListsRead) {
    AddPerson(1, std::string("Ann"), Null{});
    AddValue(1, 3, std::int64_t{1}, std::string("+1 555 0101"));
    db_->Exec("DROP TABLE ABMultiValueEntry;");
    Person* persons = nullptr;
    MultiValue* values = nullptr;
    MultiValueEntry* entries = nullptr;
    ASSERT_EQ(
        qvGetContactInfo(path().c_str(), nullptr, &persons, &values, &entries, nullptr, nullptr),
        DBQUARRY_PREPARE_FAILED);
    ASSERT_NE(persons, nullptr);
    ASSERT_NE(values, nullptr);
    EXPECT_EQ(entries, nullptr);
    EXPECT_EQ(Text(persons->phone), u"+1 555 0101");
}

TEST_F(ContactsTest, MissingPersonTableAndMissingFile) {
    db_->Exec("DROP TABLE ABPerson;");
    std::int32_t count = 41;
    Person* persons = nullptr;
    EXPECT_EQ(
        qvGetContactInfo(path().c_str(), &count, &persons, nullptr, nullptr, nullptr, nullptr),
        DBQUARRY_PREPARE_FAILED);
    EXPECT_EQ(count, 41);
    EXPECT_EQ(
        qvGetContactInfo(path().c_str(), nullptr, &persons, nullptr, nullptr, nullptr, nullptr),
        DBQUARRY_PREPARE_FAILED);

    const std::u16string missing = PathToUtf16(dir_ / "none.sqlitedb");
    auto* untouched = reinterpret_cast<Person*>(&count);
    persons = untouched;
    EXPECT_EQ(
        qvGetContactInfo(missing.c_str(), &count, &persons, nullptr, nullptr, nullptr, nullptr),
        DBQUARRY_OPEN_FAILED);
    EXPECT_EQ(persons, untouched);
    EXPECT_EQ(count, 41);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "none.sqlitedb"));
}

TEST_F(ContactsTest, BirthdayIsTheLocalDateOfSecondsSince2001) {
    {
        const TimeZone utc("UTC0");
        EXPECT_EQ(BirthdayOf(std::string("0")), u"01-01-2001");
        qvFreeContacts();
        db_->Exec("DELETE FROM ABPerson;");
        // A fraction is ignored; the count is seconds, 100 days later.
        EXPECT_EQ(BirthdayOf(std::string("8640000.75")), u"04-11-2001");
        qvFreeContacts();
        db_->Exec("DELETE FROM ABPerson;");
        EXPECT_EQ(BirthdayOf(std::int64_t{-978307199}), u"01-01-1970");
    }
    qvFreeContacts();
    db_->Exec("DELETE FROM ABPerson;");
    const TimeZone west("EST5");
    EXPECT_EQ(BirthdayOf(std::string("0")), u"12-31-2000");
}

TEST_F(ContactsTest, BirthdayAtOrBeforeTheEpochOrNotANumberIsNull) {
    const TimeZone utc("UTC0");
    for (const Value& stored :
         std::vector<Value>{std::string("-978307200"), std::string("-978307201"),
                            std::string("-99999999999999999999999"), std::string(""),
                            std::string("abc"), Null{}}) {
        EXPECT_EQ(BirthdayOf(stored), std::nullopt);
        qvFreeContacts();
        db_->Exec("DELETE FROM ABPerson;");
    }
    // Far beyond any calendar the C library formats: no date, no crash.
    EXPECT_EQ(BirthdayOf(std::string("99999999999999999999")), std::nullopt);
}

class ContactImagesTest : public ::testing::Test {
protected:
    TempDir dir_;
};

TEST_F(ContactImagesTest, OnlyFormat0ThumbnailsWithBytesReachTheCallback) {
    {
        Database db =
            CreateFromSchema(dir_ / "AddressBookImages.sqlitedb", "addressbook-images.sql");
        const std::string jpeg("\xff\xd8\xff\xe0\0\x10JFIF", 10);
        db.Run("INSERT INTO ABThumbnailImage (record_id, format, data) VALUES (?1, ?2, ?3)",
               {std::int64_t{7}, std::int64_t{0}, Blob{jpeg}});
        db.Run("INSERT INTO ABThumbnailImage (record_id, format, data) VALUES (?1, ?2, ?3)",
               {std::int64_t{8}, std::int64_t{1}, Blob{jpeg}});
        db.Run("INSERT INTO ABThumbnailImage (record_id, format, data) VALUES (?1, ?2, ?3)",
               {std::int64_t{9}, std::int64_t{0}, Blob{""}});
        db.Run("INSERT INTO ABThumbnailImage (record_id, format, data) VALUES (?1, ?2, ?3)",
               {std::int64_t{10}, std::int64_t{0}, Null{}});
    }
    struct Seen {
        std::int32_t recordId;
        std::string bytes;
    };
    std::vector<Seen> seen;
    const auto callback = [](const unsigned char* image, std::int32_t length, std::int32_t id,
                             void* userData) {
        static_cast<std::vector<Seen>*>(userData)->push_back(
            {id,
             std::string(reinterpret_cast<const char*>(image), static_cast<std::size_t>(length))});
    };
    const std::u16string path = PathToUtf16(dir_ / "AddressBookImages.sqlitedb");
    ASSERT_EQ(qvGetContactImage(path.c_str(), callback, &seen), DBQUARRY_OK);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].recordId, 7);
    EXPECT_EQ(seen[0].bytes, std::string("\xff\xd8\xff\xe0\0\x10JFIF", 10));
    EXPECT_EQ(qvGetContactImage(path.c_str(), nullptr, nullptr), DBQUARRY_OK);

    const std::u16string addressBook = PathToUtf16(dir_ / "AddressBook.sqlitedb");
    CreateFromSchema(dir_ / "AddressBook.sqlitedb", "addressbook.sql");
    EXPECT_EQ(qvGetContactImage(addressBook.c_str(), callback, &seen), DBQUARRY_PREPARE_FAILED);
    const std::u16string missing = PathToUtf16(dir_ / "none.sqlitedb");
    EXPECT_EQ(qvGetContactImage(missing.c_str(), callback, &seen), DBQUARRY_OPEN_FAILED);
}

}  // namespace
