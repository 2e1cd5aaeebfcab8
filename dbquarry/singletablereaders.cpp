// The single-table readers: call history, camera photos, calendar and reminders, notes, voice
// memos and bookmarks. Each one is a statement, a rule for count mode and a fill function on one
// shared shape: the statement is prepared first, so a missing table gives the same code in both
// modes; then the rows are either counted or turned into records.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "dbquarry/reader.h"

namespace dbquarry {
namespace {

constexpr const char* kCallHistorySql = "select rowid,address,date,duration,flags from call";

constexpr const char* kCameraPhotosSql =
    "select a.zkind, \t\t\t\t\t   a.zsavedassettype,\t\t\t\t\t   "
    "a.zthumbnailindex,\t\t\t\t\t   a.zdatecreated,\t\t\t\t\t   a.zdirectory,\t\t\t\t\t   "
    "a.zfilename,\t\t\t\t\t   attr.zoriginalheight, \t\t\t\t\t   "
    "attr.zoriginalwidth, \t\t\t\t\t   attr.ZORIGINALFILESIZE, \t\t\t\t\t   "
    "attr.zoriginalorientation, \t\t\t\t\t   attr.zduration from \t\t\t\t\t   "
    "zgenericasset a,zadditionalassetattributes attr \t\t\t\t\t   "
    "where a.ZADDITIONALATTRIBUTES=attr.Z_PK and \t\t\t\t\t   "
    "(a.ZDIRECTORY like 'DCIM/1__APPLE' or "
    "a.ZDIRECTORY like 'PhotoStreamsData/%/1__APPLE') \t\t\t\t\t   "
    "order by a.zdatecreated";

constexpr const char* kCalendarSql =
    "select \t\t\t\t\t\tci.rowid, \t\t\t\t\t\tci.summary, \t\t\t\t\t\t"
    "ci.description, \t\t\t\t\t\tci.start_date, \t\t\t\t\t\tci.end_date, \t\t\t\t\t\t"
    "ci.url, \t\t\t\t\t\tci.birthday_id, \t\t\t\t\t\tci.entity_type, \t\t\t\t\t\t"
    "ci.due_date, \t\t\t\t\t\tci.has_recurrences, \t\t\t\t\t\t"
    "ci.completion_date, \t\t\t\t\t\tci.creation_date, \t\t\t\t\t\tc.title, \t\t\t\t\t\t"
    "case \t\t\t\t\t\twhen ci.location_id in (select rowid from location) \t\t\t\t\t\t"
    "then (select title from location where ci.location_id=rowid) \t\t\t\t\t\t"
    "end as location, \t\t\t\t\t\tcase \t\t\t\t\t\t"
    "when ci.ROWID in (select owner_id from recurrence)  \t\t\t\t\t\t"
    "then (select frequency from recurrence where ci.rowid=owner_id) \t\t\t\t\t\t"
    "end as freq, \t\t\t\t\t\tcase \t\t\t\t\t\t"
    "when ci.ROWID in (select owner_id from recurrence)  \t\t\t\t\t\t"
    "then (select interval from recurrence where ci.[rowid]=owner_id) \t\t\t\t\t\t"
    "end as interval, \t\t\t\t\t\tcase \t\t\t\t\t\t"
    "when ci.ROWID in (select owner_id from recurrence) \t\t\t\t\t\t"
    "then (select end_date from recurrence where ci.[rowid]=owner_id) \t\t\t\t\t\t"
    "end as end_repeat \t\t\t\t\t\t"
    "from calendaritem ci,calendar c where ci.calendar_id=c.ROWID";

constexpr const char* kNotesSql =
    "select \t\t\t\t\t   n.ZDELETEDFLAG, \t\t\t\t\t   n.ZCREATIONDATE, \t\t\t\t\t   "
    "n.ZMODIFICATIONDATE, \t\t\t\t\t   n.ZSUMMARY, \t\t\t\t\t   n.ZTITLE, \t\t\t\t\t   "
    "b.ZCONTENT \t\t\t\t\t   from znote n,znotebody b where n.ZBODY=b.Z_PK";

constexpr const char* kVoiceMemosSql = "select ZDATE,ZDURATION,ZCUSTOMLABEL,ZPATH from ZRECORDING";

constexpr const char* kBookmarksSql =
    "select id,parent,type,title,url,num_children,hidden from bookmarks";

constexpr std::string_view kDevicePrefix = "/var/mobile/";
constexpr std::string_view kPhotoStreamFolder = "PhotoStreamsData";
constexpr std::int32_t kEventType = 2;
constexpr std::int32_t kReminderType = 3;
constexpr std::int32_t kBookmarkFolderType = 1;

// What one reader does with its table. `keep` drops rows in both modes; `count` tallies a row in
// count mode; `fill` sets a record's fields from a row (`position` counts kept rows from 1).
template <typename Record, typename Counters>
struct Table {
    const char* sql;
    bool (*keep)(const Statement& row);
    void (*count)(Counters& counters, const Statement& row);
    void (*fill)(Record& record, const Statement& row, std::int32_t position);
};

bool KeepAll(const Statement&) {
    return true;
}

// The callers' counters. Each is written only in count mode, where it starts at 0.
void Reset(std::int32_t* counter) {
    if (counter != nullptr) {
        *counter = 0;
    }
}

void Increment(std::int32_t* counter) {
    if (counter != nullptr) {
        ++*counter;
    }
}

// A text column as the C string it is meant to be: up to its first zero byte.
std::string_view TextBeforeZero(const Statement& row, int column) {
    const std::string_view text = row.Utf8(column);
    return text.substr(0, text.find('\0'));
}

struct RowCount {
    std::int32_t* rows;
    void Reset() const { dbquarry::Reset(rows); }
};

void CountRow(RowCount& counters, const Statement&) {
    Increment(counters.rows);
}

template <typename Record, typename Counters>
int CountRows(const Table<Record, Counters>& table, Statement& statement, Counters counters) {
    counters.Reset();
    while (statement.Step()) {
        if (table.keep(statement)) {
            table.count(counters, statement);
        }
    }
    return DBQUARRY_OK;
}

template <typename Record, typename Counters>
int BuildList(const Table<Record, Counters>& table, Statement& statement, Record** out,
              Slot<Record>& slot, RecordCallback callback, void* userData) {
    ListBuilder<Record> list;
    statement.UseArena(list.arena());
    std::int32_t position = 0;
    while (statement.Step()) {
        if (!table.keep(statement)) {
            continue;
        }
        Record* record = list.Append();
        if (record == nullptr) {
            return DBQUARRY_OUT_OF_MEMORY;
        }
        table.fill(*record, statement, ++position);
        if (callback != nullptr) {
            callback(record, userData);
        }
    }
    list.HandOut(out, slot);
    return DBQUARRY_OK;
}

// The one shape of every reader here: open, prepare, then count (when `countMode`), build the
// list (when `out` is given) or do nothing; the statement and connection close on every return.
template <typename Record, typename Counters>
int ReadTable(const char16_t* path, const Table<Record, Counters>& table, bool countMode,
              const Counters& counters, Record** out, Slot<Record>& slot, RecordCallback callback,
              void* userData) {
    return WithDatabase(path, [&](sqlite3* db) {
        Statement statement(db, table.sql);
        if (!statement.Prepared()) {
            return static_cast<int>(DBQUARRY_PREPARE_FAILED);
        }
        if (countMode) {
            return CountRows(table, statement, counters);
        }
        if (out != nullptr) {
            return BuildList(table, statement, out, slot, callback, userData);
        }
        return static_cast<int>(DBQUARRY_OK);
    });
}

// Call history.
void FillCall(CallRecord& call, const Statement& row, std::int32_t) {
    ReadColumns(row, 0, call.rowid, call.address, call.date, call.duration, call.flags);
}

constexpr Table<CallRecord, RowCount> kCallHistory{kCallHistorySql, KeepAll, CountRow, FillCall};

// Camera photos. Without a counter for photo-stream photos those rows are counted nowhere.
struct CameraCounts {
    std::int32_t* cameraRoll;
    std::int32_t* videos;
    std::int32_t* photoStream;
    void Reset() const {
        dbquarry::Reset(cameraRoll);
        dbquarry::Reset(videos);
        dbquarry::Reset(photoStream);
    }
};

void CountAsset(CameraCounts& counters, const Statement& row) {
    if (row.Double(10) > 0) {
        Increment(counters.videos);
    } else if (!row.IsNull(4)) {
        const bool inPhotoStream =
            TextBeforeZero(row, 4).find(kPhotoStreamFolder) != std::string_view::npos;
        Increment(inPhotoStream ? counters.photoStream : counters.cameraRoll);
    }
}

void FillPhoto(CameraPhoto& photo, const Statement& row, std::int32_t position) {
    photo.index = position;
    ReadColumns(row, 0, photo.zkind, photo.zsavedassettype, photo.zthumbnailindex,
                photo.zdatecreated, photo.zdirectory, photo.zfilename, photo.zoriginalheight,
                photo.zoriginalwidth, photo.ZORIGINALFILESIZE, photo.zoriginalorientation,
                photo.zduration);
}

constexpr Table<CameraPhoto, CameraCounts> kCameraPhotos{kCameraPhotosSql, KeepAll, CountAsset,
                                                         FillPhoto};

// Calendar events and reminders.
struct CalendarCounts {
    std::int32_t* events;
    std::int32_t* reminders;
    void Reset() const {
        dbquarry::Reset(events);
        dbquarry::Reset(reminders);
    }
};

void CountItem(CalendarCounts& counters, const Statement& row) {
    const std::int32_t type = row.Int(7);
    if (type == kEventType) {
        Increment(counters.events);
    } else if (type == kReminderType) {
        Increment(counters.reminders);
    }
}

void FillItem(CalendarItem& item, const Statement& row, std::int32_t) {
    ReadColumns(row, 0, item.rowid, item.summary, item.description, item.start_date, item.end_date,
                item.url, item.birthday_id, item.entity_type, item.due_date, item.has_recurrences,
                item.completion_date, item.creation_date, item.title, item.location, item.freq,
                item.interval, item.end_repeat);
}

constexpr Table<CalendarItem, CalendarCounts> kCalendar{kCalendarSql, KeepAll, CountItem, FillItem};

// Notes, deleted ones included: the caller reads ZDELETEDFLAG.
void FillNote(NoteRecord& note, const Statement& row, std::int32_t) {
    ReadColumns(row, 0, note.ZDELETEDFLAG, note.ZCREATIONDATE, note.ZMODIFICATIONDATE,
                note.ZSUMMARY, note.ZTITLE, note.ZCONTENT);
}

constexpr Table<NoteRecord, RowCount> kNotes{kNotesSql, KeepAll, CountRow, FillNote};

// Voice memos.
// Whole seconds, half up; values no 32-bit field can hold (NaN included) are clamped, since
// converting them would be undefined.
std::int32_t RoundedSeconds(double seconds) {
    const double rounded = std::trunc(seconds + 0.5);
    if (std::isnan(rounded)) {
        return 0;
    }
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    if (rounded <= kMin) {
        return kMin;
    }
    if (rounded >= kMax) {
        return kMax;
    }
    return static_cast<std::int32_t>(rounded);
}

// The recording's path without the device's home folder (its first occurrence, wherever it is).
char16_t* RecordingPath(const Statement& row, int column) {
    if (row.IsNull(column)) {
        return nullptr;
    }
    std::string path(TextBeforeZero(row, column));
    if (const auto prefix = path.find(kDevicePrefix); prefix != std::string::npos) {
        path.erase(prefix, kDevicePrefix.size());
    }
    return Utf8ToWide(row.arena(), path);
}

void FillMemo(VoiceMemo& memo, const Statement& row, std::int32_t) {
    memo.ZDATE = row.Int64(0);
    memo.ZDURATION = RoundedSeconds(row.Double(1));
    memo.ZCUSTOMLABEL = row.Text(2);
    memo.ZPATH = RecordingPath(row, 3);
}

constexpr Table<VoiceMemo, RowCount> kVoiceMemos{kVoiceMemosSql, KeepAll, CountRow, FillMemo};

// Bookmarks. Rows of type 1 are left out in both modes.
bool IsNotBookmarkFolder(const Statement& row) {
    return row.Int(2) != kBookmarkFolderType;
}

void FillBookmark(BookMark& bookmark, const Statement& row, std::int32_t) {
    ReadColumns(row, 0, bookmark.id, bookmark.parent, bookmark.type, bookmark.title, bookmark.url,
                bookmark.num_children, bookmark.hidden);
}

constexpr Table<BookMark, RowCount> kBookmarks{kBookmarksSql, IsNotBookmarkFolder, CountRow,
                                               FillBookmark};

}  // namespace
}  // namespace dbquarry

using dbquarry::Lists;
using dbquarry::ReadTable;

int qvGetCallHistory(const char16_t* path, int32_t* rowCount, CallRecord** calls,
                     RecordCallback callback, void* userData) {
    return ReadTable(path, dbquarry::kCallHistory, rowCount != nullptr, {rowCount}, calls,
                     Lists().calls, callback, userData);
}

int qvGetCameraPhotos(const char16_t* path, int32_t* cameraRollPhotos, int32_t* videos,
                      int32_t* photoStreamPhotos, CameraPhoto** photos, RecordCallback callback,
                      void* userData) {
    const bool countMode = cameraRollPhotos != nullptr && videos != nullptr;
    return ReadTable(path, dbquarry::kCameraPhotos, countMode,
                     {cameraRollPhotos, videos, photoStreamPhotos}, photos, Lists().photos,
                     callback, userData);
}

int qvGetCalendarAndReminder(const char16_t* path, int32_t* events, int32_t* reminders,
                             CalendarItem** calendarItems, RecordCallback callback,
                             void* userData) {
    const bool countMode = events != nullptr && reminders != nullptr;
    return ReadTable(path, dbquarry::kCalendar, countMode, {events, reminders}, calendarItems,
                     Lists().calendarItems, callback, userData);
}

int qvGetNotes(const char16_t* path, int32_t* rowCount, NoteRecord** notes, RecordCallback callback,
               void* userData) {
    return ReadTable(path, dbquarry::kNotes, rowCount != nullptr, {rowCount}, notes, Lists().notes,
                     callback, userData);
}

int qvGetVoiceMemos(const char16_t* path, int32_t* rowCount, VoiceMemo** memos,
                    RecordCallback callback, void* userData) {
    return ReadTable(path, dbquarry::kVoiceMemos, rowCount != nullptr, {rowCount}, memos,
                     Lists().memos, callback, userData);
}

int qvGetBookMarks(const char16_t* path, int32_t* rowCount, BookMark** bookmarks,
                   RecordCallback callback, void* userData) {
    return ReadTable(path, dbquarry::kBookmarks, rowCount != nullptr, {rowCount}, bookmarks,
                     Lists().bookmarks, callback, userData);
}
