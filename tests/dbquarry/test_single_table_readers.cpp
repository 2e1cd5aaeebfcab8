// The single-table readers (call history, camera photos, calendar, notes, voice memos, bookmarks)
// on databases built from the device layouts.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <utility>
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

// What a one-table reader with a row counter gives: the count, then the list.
template <typename Record>
std::pair<std::int32_t, std::vector<Record*>> CountAndList(int (*read)(const char16_t*,
                                                                       std::int32_t*, Record**,
                                                                       RecordCallback, void*),
                                                           const std::u16string& path) {
    std::int32_t count = -1;
    EXPECT_EQ(read(path.c_str(), &count, nullptr, nullptr, nullptr), DBQUARRY_OK);
    Record* list = nullptr;
    EXPECT_EQ(read(path.c_str(), nullptr, &list, nullptr, nullptr), DBQUARRY_OK);
    return {count, Records(list)};
}

using TablesTest = ListsTest;

// --- call history: the full reader shape -----------------------------------------------------

class CallHistoryTest : public TablesTest {
protected:
    void SetUp() override {
        Database db = CreateFromSchema(dir_ / "call_history.db", "call-history.sql");
        const auto add = [&](std::int64_t id, Value address, std::int64_t date, Value duration,
                             std::int64_t flags) {
            db.Run(
                "INSERT INTO call (ROWID, address, date, duration, flags) VALUES (?1,?2,?3,?4,?5)",
                {id, std::move(address), date, std::move(duration), flags});
        };
        add(3, std::string("+1 555 0100"), 5'000'000'000, std::int64_t{42}, 5);
        add(7, Null{}, 1, Null{}, 4);
        add(9, std::string(""), 2, std::int64_t{0}, 20);
        add(12, std::string("Zoë \xE2\x98\x8E \xF0\x9F\x93\x9E"), 3, std::int64_t{7}, 4);
        add(13, std::string("bad \xC3("), 4, std::int64_t{1}, 4);
    }

    const std::u16string path_ = Path("call_history.db");
};

TEST_F(CallHistoryTest, ListHoldsEveryRowAsStored) {
    CallRecord* calls = nullptr;
    ASSERT_EQ(qvGetCallHistory(path_.c_str(), nullptr, &calls, nullptr, nullptr), DBQUARRY_OK);
    const auto records = Records(calls);
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[0]->rowid, 3);
    EXPECT_EQ(Text(records[0]->address), u"+1 555 0100");
    EXPECT_EQ(records[0]->date, 5'000'000'000);
    EXPECT_EQ(records[0]->duration, 42);
    EXPECT_EQ(records[0]->flags, 5);
    EXPECT_EQ(records[0]->deleted, 0);
    // NULL gives null and 0, an empty text an empty string, flags are kept as stored.
    EXPECT_EQ(Text(records[1]->address), std::nullopt);
    EXPECT_EQ(records[1]->duration, 0);
    EXPECT_EQ(Text(records[2]->address), u"");
    EXPECT_EQ(records[2]->flags, 20);
    EXPECT_EQ(Text(records[3]->address), u"Zo\u00eb \u260e \U0001F4DE");
    EXPECT_EQ(Text(records[4]->address), u"bad \uFFFD(");
}

TEST_F(CallHistoryTest, CallbackSeesEachRecordOnceLinkedAtTheTail) {
    CallRecord* calls = nullptr;
    Seen seen;
    ASSERT_EQ(qvGetCallHistory(path_.c_str(), nullptr, &calls, Remember<CallRecord>, &seen),
              DBQUARRY_OK);
    const auto records = Records(calls);
    EXPECT_EQ(seen.records, std::vector<void*>(records.begin(), records.end()));
    EXPECT_TRUE(seen.allTails);
}

TEST_F(CallHistoryTest, CountModeCountsAndBuildsNothing) {
    std::int32_t count = 99;
    CallRecord* calls = reinterpret_cast<CallRecord*>(&count);  // must stay as it is
    Seen seen;
    ASSERT_EQ(qvGetCallHistory(path_.c_str(), &count, &calls, Remember<CallRecord>, &seen),
              DBQUARRY_OK);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(calls, reinterpret_cast<CallRecord*>(&count));
    EXPECT_TRUE(seen.records.empty());
    // Neither counter nor list: nothing to do, and still success.
    EXPECT_EQ(qvGetCallHistory(path_.c_str(), nullptr, nullptr, Remember<CallRecord>, &seen),
              DBQUARRY_OK);
    EXPECT_TRUE(seen.records.empty());
}

TEST_F(CallHistoryTest, FailuresLeaveCountersAndListsAlone) {
    std::int32_t count = 99;
    CallRecord* calls = reinterpret_cast<CallRecord*>(&count);
    const std::u16string missing = Path("missing.db");
    EXPECT_EQ(qvGetCallHistory(missing.c_str(), &count, nullptr, nullptr, nullptr),
              DBQUARRY_OPEN_FAILED);
    EXPECT_EQ(qvGetCallHistory(missing.c_str(), nullptr, &calls, nullptr, nullptr),
              DBQUARRY_OPEN_FAILED);
    EXPECT_EQ(qvGetCallHistory(nullptr, &count, &calls, nullptr, nullptr), DBQUARRY_OPEN_FAILED);
    // Another database: the table is missing in both modes, since the statement comes first.
    CreateFromSchema(dir_ / "notes.sqlite", "notes.sql");
    const std::u16string wrong = Path("notes.sqlite");
    EXPECT_EQ(qvGetCallHistory(wrong.c_str(), &count, nullptr, nullptr, nullptr),
              DBQUARRY_PREPARE_FAILED);
    EXPECT_EQ(qvGetCallHistory(wrong.c_str(), nullptr, &calls, nullptr, nullptr),
              DBQUARRY_PREPARE_FAILED);
    EXPECT_EQ(qvGetCallHistory(wrong.c_str(), nullptr, nullptr, nullptr, nullptr),
              DBQUARRY_PREPARE_FAILED);
    EXPECT_EQ(count, 99);
    EXPECT_EQ(calls, reinterpret_cast<CallRecord*>(&count));
    // Nothing was created beside the missing file or the databases that were read.
    EXPECT_EQ(EntryNames(dir_.path()), (std::set<fs::path>{"call_history.db", "notes.sqlite"}));
}

TEST_F(CallHistoryTest, ReadingWritesNothingBesideTheDatabase) {
    const auto before = EntryNames(dir_.path());
    CallRecord* calls = nullptr;
    std::int32_t count = 0;
    ASSERT_EQ(qvGetCallHistory(path_.c_str(), &count, nullptr, nullptr, nullptr), DBQUARRY_OK);
    ASSERT_EQ(qvGetCallHistory(path_.c_str(), nullptr, &calls, nullptr, nullptr), DBQUARRY_OK);
    EXPECT_EQ(EntryNames(dir_.path()), before);
}

TEST_F(CallHistoryTest, UnicodePathAndEmptyTable) {
    const fs::path unicode = dir_ / u8"Ünïcode 通话.db";
    CreateFromSchema(unicode, "call-history.sql");
    CallRecord* calls = reinterpret_cast<CallRecord*>(this);
    std::int32_t count = 5;
    const std::u16string path = PathToUtf16(unicode);
    ASSERT_EQ(qvGetCallHistory(path.c_str(), &count, nullptr, nullptr, nullptr), DBQUARRY_OK);
    EXPECT_EQ(count, 0);
    ASSERT_EQ(qvGetCallHistory(path.c_str(), nullptr, &calls, nullptr, nullptr), DBQUARRY_OK);
    EXPECT_EQ(calls, nullptr);
}

// Two reads without a free, then one free: the sanitizer build's leak check sees everything go.
TEST_F(CallHistoryTest, OneFreeReleasesEveryUnfreedRead) {
    CallRecord* first = nullptr;
    CallRecord* second = nullptr;
    ASSERT_EQ(qvGetCallHistory(path_.c_str(), nullptr, &first, nullptr, nullptr), DBQUARRY_OK);
    ASSERT_EQ(qvGetCallHistory(path_.c_str(), nullptr, &second, nullptr, nullptr), DBQUARRY_OK);
    EXPECT_NE(first, second);
    EXPECT_EQ(Text(first->address), u"+1 555 0100");  // the first list is still the caller's
    qvFreeCallHistory();
    qvFreeCallHistory();
}

// --- camera photos ----------------------------------------------------------------------------

class CameraTest : public TablesTest {
protected:
    void SetUp() override {
        Database db = CreateFromSchema(dir_ / "Photos.sqlite", "photos.sql");
        // pk, directory, file, created, duration
        Add(db, 1, "DCIM/100APPLE", "IMG_0001.JPG", 300, 0.0);
        Add(db, 2, "PhotoStreamsData/abc/100APPLE", "IMG_0002.JPG", 100, 0.0);
        Add(db, 3, "PhotoStreamsData/abc/100APPLE", "IMG_0003.MOV", 200, 12.5);
        Add(db, 4, "dcim/101apple", "IMG_0004.MOV", 400, 0.25);
        Add(db, 5, "DCIM/102APPLE", "IMG_0005.JPG", 500, 0.0);
        Add(db, 6, "DCIM/1000APPLE", "skipped.JPG", 50, 0.0);       // not the folder form
        Add(db, 7, "Media/DCIM/100APPLE", "skipped.JPG", 60, 0.0);  // LIKE anchors both ends
        Add(db, 8, "DCIM/100APPLE", "no-attributes.JPG", 70, 0.0, false);
    }

    static void Add(Database& db, std::int64_t pk, const std::string& directory,
                    const std::string& file, std::int64_t created, double duration,
                    bool withAttributes = true) {
        db.Run(
            "INSERT INTO ZGENERICASSET (Z_PK, ZKIND, ZSAVEDASSETTYPE, ZTHUMBNAILINDEX, "
            "ZDATECREATED, ZDIRECTORY, ZFILENAME, ZADDITIONALATTRIBUTES) "
            "VALUES (?1, 1, 3, ?2, ?3, ?4, ?5, ?6)",
            {pk, pk + 10, created, directory, file, pk + 100});
        if (withAttributes) {
            db.Run(
                "INSERT INTO ZADDITIONALASSETATTRIBUTES (Z_PK, ZORIGINALHEIGHT, ZORIGINALWIDTH,"
                " ZORIGINALFILESIZE, ZORIGINALORIENTATION, ZDURATION) "
                "VALUES (?1, 2448, 3264, ?2, 6, ?3)",
                {pk + 100, std::int64_t{5'000'000'000} + pk, duration});
        }
    }

    const std::u16string path_ = Path("Photos.sqlite");
};

TEST_F(CameraTest, CountModeClassifiesVideosStreamAndRoll) {
    std::int32_t roll = 7;
    std::int32_t videos = 7;
    std::int32_t stream = 7;
    ASSERT_EQ(qvGetCameraPhotos(path_.c_str(), &roll, &videos, &stream, nullptr, nullptr, nullptr),
              DBQUARRY_OK);
    EXPECT_EQ(videos, 2);  // any duration above 0, whatever the folder
    EXPECT_EQ(stream, 1);
    EXPECT_EQ(roll, 2);
}

TEST_F(CameraTest, CountModeWithoutStreamCounterCountsTheRest) {
    std::int32_t roll = 7;
    std::int32_t videos = 7;
    CameraPhoto* photos = nullptr;
    ASSERT_EQ(qvGetCameraPhotos(path_.c_str(), &roll, &videos, nullptr, &photos, nullptr, nullptr),
              DBQUARRY_OK);
    EXPECT_EQ(roll, 2);
    EXPECT_EQ(videos, 2);
    EXPECT_EQ(photos, nullptr);
    // One counter alone is list mode: it is not written.
    ASSERT_EQ(qvGetCameraPhotos(path_.c_str(), &roll, nullptr, nullptr, &photos, nullptr, nullptr),
              DBQUARRY_OK);
    EXPECT_EQ(roll, 2);
    EXPECT_EQ(Records(photos).size(), 5u);
}

TEST_F(CameraTest, ListFollowsCreationDateWithIndexFromOne) {
    CameraPhoto* photos = nullptr;
    Seen seen;
    ASSERT_EQ(qvGetCameraPhotos(path_.c_str(), nullptr, nullptr, nullptr, &photos,
                                Remember<CameraPhoto>, &seen),
              DBQUARRY_OK);
    const auto records = Records(photos);
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(seen.records.size(), 5u);
    std::vector<std::u16string> files;
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i]->index, static_cast<std::int32_t>(i + 1));
        files.push_back(*Text(records[i]->zfilename));
    }
    EXPECT_EQ(files, (std::vector<std::u16string>{u"IMG_0002.JPG", u"IMG_0003.MOV", u"IMG_0001.JPG",
                                                  u"IMG_0004.MOV", u"IMG_0005.JPG"}));
    const CameraPhoto& video = *records[1];
    EXPECT_EQ(video.zkind, 1);
    EXPECT_EQ(video.zsavedassettype, 3);
    EXPECT_EQ(video.zthumbnailindex, 13);
    EXPECT_EQ(video.zdatecreated, 200);
    EXPECT_EQ(Text(video.zdirectory), u"PhotoStreamsData/abc/100APPLE");
    EXPECT_EQ(video.zoriginalheight, 2448);
    EXPECT_EQ(video.zoriginalwidth, 3264);
    EXPECT_EQ(video.ZORIGINALFILESIZE, 5'000'000'003);
    EXPECT_EQ(video.zoriginalorientation, 6);
    EXPECT_EQ(video.zduration, 12.5);
    EXPECT_EQ(video.reservedText, nullptr);
}

// --- calendar and reminders -------------------------------------------------------------------

class CalendarTest : public TablesTest {
protected:
    void SetUp() override {
        Database db = CreateFromSchema(dir_ / "Calendar.sqlitedb", "calendar.sql");
        db.Exec(R"sql(
            INSERT INTO Calendar (ROWID, title) VALUES (1, 'Home'), (2, 'Tâches');
            INSERT INTO Location (ROWID, title) VALUES (4, 'Café');
            INSERT INTO CalendarItem (ROWID, summary, location_id, description, start_date,
                end_date, calendar_id, url, birthday_id, has_recurrences, entity_type, due_date,
                completion_date, creation_date)
            VALUES (1, 'Standup', 4, 'daily', 370000000.75, 370003600, 1, 'https://x.test/a', 0,
                    1, 2, NULL, NULL, 369000000),
                   (2, 'Buy milk', NULL, NULL, NULL, NULL, 2, NULL, 0, 0, 3, 371000000,
                    371500000, 369500000),
                   (3, 'Holiday', 99, '', 372000000, 372086400, 1, '', 5, 0, 2, NULL, NULL, 1),
                   (4, 'Orphan', NULL, NULL, NULL, NULL, 42, NULL, 0, 0, 2, NULL, NULL, 1),
                   (5, 'Unknown kind', NULL, NULL, NULL, NULL, 1, NULL, 0, 0, 7, NULL, NULL, 1);
            INSERT INTO Recurrence (frequency, interval, end_date, owner_id)
            VALUES (1, 2, 380000000, 1);
        )sql");
    }

    const std::u16string path_ = Path("Calendar.sqlitedb");
};

TEST_F(CalendarTest, CountModeCountsEventsAndRemindersOnly) {
    std::int32_t events = 7;
    std::int32_t reminders = 9;
    ASSERT_EQ(
        qvGetCalendarAndReminder(path_.c_str(), &events, &reminders, nullptr, nullptr, nullptr),
        DBQUARRY_OK);
    EXPECT_EQ(events, 2);  // the item without a calendar is not joined
    EXPECT_EQ(reminders, 1);
}

TEST_F(CalendarTest, ListCarriesCalendarLocationAndRecurrence) {
    CalendarItem* items = nullptr;
    std::int32_t events = 7;
    ASSERT_EQ(qvGetCalendarAndReminder(path_.c_str(), &events, nullptr, &items, nullptr, nullptr),
              DBQUARRY_OK);
    EXPECT_EQ(events, 7);
    const auto records = Records(items);
    ASSERT_EQ(records.size(), 4u);
    const CalendarItem& event = *records[0];
    EXPECT_EQ(event.rowid, 1);
    EXPECT_EQ(Text(event.summary), u"Standup");
    EXPECT_EQ(Text(event.description), u"daily");
    EXPECT_EQ(event.start_date, 370000000);  // the fraction is lost
    EXPECT_EQ(event.end_date, 370003600);
    EXPECT_EQ(Text(event.url), u"https://x.test/a");
    EXPECT_EQ(event.has_recurrences, 1);
    EXPECT_EQ(event.entity_type, 2);
    EXPECT_EQ(event.creation_date, 369000000);
    EXPECT_EQ(Text(event.title), u"Home");
    EXPECT_EQ(Text(event.location), u"Caf\u00e9");
    EXPECT_EQ(event.freq, 1);
    EXPECT_EQ(event.interval, 2);
    EXPECT_EQ(event.end_repeat, 380000000);

    const CalendarItem& reminder = *records[1];
    EXPECT_EQ(reminder.entity_type, 3);
    EXPECT_EQ(Text(reminder.title), u"T\u00e2ches");
    EXPECT_EQ(reminder.due_date, 371000000);
    EXPECT_EQ(reminder.completion_date, 371500000);
    EXPECT_EQ(Text(reminder.description), std::nullopt);
    EXPECT_EQ(Text(reminder.location), std::nullopt);
    EXPECT_EQ(reminder.freq, 0);
    EXPECT_EQ(reminder.interval, 0);
    EXPECT_EQ(reminder.end_repeat, 0);

    // A location id naming no row gives no location; empty texts stay empty strings.
    EXPECT_EQ(Text(records[2]->location), std::nullopt);
    EXPECT_EQ(Text(records[2]->description), u"");
    EXPECT_EQ(records[2]->birthday_id, 5);
    EXPECT_EQ(records[3]->entity_type, 7);
}

// --- notes --------------------------------------------------------------------------------------

TEST_F(TablesTest, NotesJoinTheirBodiesAndKeepDeletedOnes) {
    {
        Database db = CreateFromSchema(dir_ / "notes.sqlite", "notes.sql");
        db.Exec(R"sql(
            INSERT INTO ZNOTEBODY (Z_PK, ZOWNER, ZCONTENT) VALUES (10, 1, '<div>Hi 👋</div>'),
                (11, 2, NULL), (12, 3, '');
            INSERT INTO ZNOTE (Z_PK, ZDELETEDFLAG, ZBODY, ZCREATIONDATE, ZMODIFICATIONDATE,
                ZSUMMARY, ZTITLE) VALUES (1, 0, 10, 369000000.5, 369000100, 'Hi', 'Greeting'),
                (2, 1, 11, 1, 2, NULL, 'Gone'), (3, 0, 12, 3, 4, '', ''), (4, 0, 99, 5, 6, 'x', 'x');
        )sql");
    }
    const auto [count, records] = CountAndList(qvGetNotes, Path("notes.sqlite"));
    EXPECT_EQ(count, 3);  // the note without a body is not joined
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0]->ZDELETEDFLAG, 0);
    EXPECT_EQ(records[0]->ZCREATIONDATE, 369000000);
    EXPECT_EQ(records[0]->ZMODIFICATIONDATE, 369000100);
    EXPECT_EQ(Text(records[0]->ZSUMMARY), u"Hi");
    EXPECT_EQ(Text(records[0]->ZTITLE), u"Greeting");
    EXPECT_EQ(Text(records[0]->ZCONTENT), u"<div>Hi \U0001F44B</div>");
    EXPECT_EQ(records[1]->ZDELETEDFLAG, 1);
    EXPECT_EQ(Text(records[1]->ZSUMMARY), std::nullopt);
    EXPECT_EQ(Text(records[1]->ZCONTENT), std::nullopt);
    EXPECT_EQ(Text(records[2]->ZTITLE), u"");
    EXPECT_EQ(Text(records[2]->ZCONTENT), u"");
}

// --- voice memos --------------------------------------------------------------------------------

TEST_F(TablesTest, VoiceMemosRoundDurationsAndDropTheDevicePrefix) {
    {
        Database db = CreateFromSchema(dir_ / "Recordings.db", "voice-memos.sql");
        const auto add = [&](Value duration, Value label, Value path) {
            db.Run(
                "INSERT INTO ZRECORDING (ZDATE, ZDURATION, ZCUSTOMLABEL, ZPATH) "
                "VALUES (400000000.9, ?1, ?2, ?3)",
                {std::move(duration), std::move(label), std::move(path)});
        };
        add(2.5, std::string("Idée"), std::string("/var/mobile/Media/Recordings/x.m4a"));
        add(2.4, Null{}, std::string("Media/Recordings/y.m4a"));
        add(-2.4, std::string(""), std::string("/private/var/mobile/Media/z.m4a"));
        add(Null{}, Null{}, Null{});
        add(1e12, Null{}, std::string("/var/mobile/"));
        add(-1e12, Null{}, std::string("/var/mobile/a/var/mobile/b"));
        add(std::string("not a number"), Null{}, std::string("/VAR/MOBILE/c"));
    }
    const auto [count, records] = CountAndList(qvGetVoiceMemos, Path("Recordings.db"));
    EXPECT_EQ(count, 7);
    ASSERT_EQ(records.size(), 7u);
    EXPECT_EQ(records[0]->ZDATE, 400000000);
    EXPECT_EQ(records[0]->ZDURATION, 3);
    EXPECT_EQ(Text(records[0]->ZCUSTOMLABEL), u"Id\u00e9e");
    EXPECT_EQ(Text(records[0]->ZPATH), u"Media/Recordings/x.m4a");
    EXPECT_EQ(records[1]->ZDURATION, 2);
    EXPECT_EQ(Text(records[1]->ZCUSTOMLABEL), std::nullopt);
    EXPECT_EQ(Text(records[1]->ZPATH), u"Media/Recordings/y.m4a");
    EXPECT_EQ(records[2]->ZDURATION, -1);  // truncated toward zero
    EXPECT_EQ(Text(records[2]->ZCUSTOMLABEL), u"");
    EXPECT_EQ(Text(records[2]->ZPATH), u"/privateMedia/z.m4a");  // wherever it first occurs
    EXPECT_EQ(records[3]->ZDURATION, 0);
    EXPECT_EQ(Text(records[3]->ZPATH), std::nullopt);
    // Durations no 32-bit field can hold are clamped instead of overflowing.
    EXPECT_EQ(records[4]->ZDURATION, INT32_MAX);
    EXPECT_EQ(Text(records[4]->ZPATH), u"");
    EXPECT_EQ(records[5]->ZDURATION, INT32_MIN);
    EXPECT_EQ(Text(records[5]->ZPATH), u"a/var/mobile/b");
    EXPECT_EQ(records[6]->ZDURATION, 0);
    EXPECT_EQ(Text(records[6]->ZPATH), u"/VAR/MOBILE/c");  // the cut is case-sensitive
}

// --- bookmarks ----------------------------------------------------------------------------------

class BookmarksTest : public TablesTest {
protected:
    void Add(std::int64_t id, std::int64_t type, Value title, Value url) {
        Database db(dir_ / "Bookmarks.db");
        db.Run(
            "INSERT INTO bookmarks (id, parent, type, title, url, num_children, hidden, "
            "order_index) VALUES (?1, 1, ?2, ?3, ?4, ?5, ?6, 0)",
            {id, type, std::move(title), std::move(url), id * 2, id % 2});
    }

    void SetUp() override { CreateFromSchema(dir_ / "Bookmarks.db", "bookmarks.sql"); }

    const std::u16string path_ = Path("Bookmarks.db");
};

TEST_F(BookmarksTest, FoldersAreLeftOutInBothModes) {
    Add(1, 1, std::string("Root"), Null{});
    Add(2, 1, std::string("Folder"), Null{});
    std::int32_t count = 5;
    BookMark* bookmarks = reinterpret_cast<BookMark*>(this);
    Seen seen;
    ASSERT_EQ(qvGetBookMarks(path_.c_str(), &count, nullptr, nullptr, nullptr), DBQUARRY_OK);
    EXPECT_EQ(count, 0);
    ASSERT_EQ(qvGetBookMarks(path_.c_str(), nullptr, &bookmarks, Remember<BookMark>, &seen),
              DBQUARRY_OK);
    EXPECT_EQ(bookmarks, nullptr);
    EXPECT_TRUE(seen.records.empty());

    Add(3, 0, std::string("Ex\u00e4mple"), std::string("https://example.test/"));
    Add(4, 1, std::string("Folder 2"), Null{});
    Add(5, 2, Null{}, std::string(""));
    ASSERT_EQ(qvGetBookMarks(path_.c_str(), &count, nullptr, nullptr, nullptr), DBQUARRY_OK);
    EXPECT_EQ(count, 2);
    ASSERT_EQ(qvGetBookMarks(path_.c_str(), nullptr, &bookmarks, Remember<BookMark>, &seen),
              DBQUARRY_OK);
    const auto records = Records(bookmarks);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(seen.records.size(), 2u);
    EXPECT_EQ(records[0]->id, 3);
    EXPECT_EQ(records[0]->parent, 1);
    EXPECT_EQ(records[0]->type, 0);
    EXPECT_EQ(Text(records[0]->title), u"Ex\u00e4mple");
    EXPECT_EQ(Text(records[0]->url), u"https://example.test/");
    EXPECT_EQ(records[0]->num_children, 6);
    EXPECT_EQ(records[0]->hidden, 1);
    EXPECT_EQ(records[1]->type, 2);
    EXPECT_EQ(Text(records[1]->title), std::nullopt);
    EXPECT_EQ(Text(records[1]->url), u"");
}

// Each reader prepares its statement before it looks at the mode: a foreign database gives 2.
TEST_F(TablesTest, EveryMissingTableGivesCodeTwo) {
    CreateFromSchema(dir_ / "empty.db", "voice-memos.sql");
    const std::u16string path = Path("empty.db");
    std::int32_t a = 1;
    std::int32_t b = 2;
    std::int32_t c = 3;
    EXPECT_EQ(qvGetCameraPhotos(path.c_str(), &a, &b, &c, nullptr, nullptr, nullptr),
              DBQUARRY_PREPARE_FAILED);
    EXPECT_EQ(qvGetCalendarAndReminder(path.c_str(), &a, &b, nullptr, nullptr, nullptr),
              DBQUARRY_PREPARE_FAILED);
    EXPECT_EQ(qvGetNotes(path.c_str(), &a, nullptr, nullptr, nullptr), DBQUARRY_PREPARE_FAILED);
    EXPECT_EQ(qvGetBookMarks(path.c_str(), &a, nullptr, nullptr, nullptr), DBQUARRY_PREPARE_FAILED);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(c, 3);
}

}  // namespace
