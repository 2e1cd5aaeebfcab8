/* The Dbquarry interface used from C: every export on small databases built from the device
 * layouts through the SQLite C API. Arguments: the schema folder and an existing scratch folder.
 * Exits 0 when every check holds. */
#include <sqlite3.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "dbquarry/dbquarry.h"

static int failures = 0;

#define CHECK(condition)                                                                  \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            ++failures;                                                                   \
        }                                                                                 \
    } while (0)

static const char* schemaDir = NULL;
static const char* workDir = NULL;

/* A path under `folder`, in a buffer the caller frees. */
static char* JoinPath(const char* folder, const char* name) {
    size_t length = strlen(folder) + 1 + strlen(name) + 1;
    char* path = malloc(length);
    if (path != NULL) {
        snprintf(path, length, "%s/%s", folder, name);
    }
    return path;
}

/* UTF-8 to zero-terminated UTF-16 (invalid bytes become U+FFFD); the caller frees. */
static char16_t* Widen(const char* utf8) {
    const unsigned char* in = (const unsigned char*)utf8;
    size_t length = strlen(utf8);
    char16_t* out = malloc((length + 1) * sizeof(char16_t));
    size_t n = 0;
    size_t i = 0;
    if (out == NULL) {
        return NULL;
    }
    while (i < length) {
        uint32_t code = 0xFFFD;
        size_t extra = 0;
        size_t k;
        if (in[i] < 0x80) {
            code = in[i];
        } else if ((in[i] & 0xE0) == 0xC0) {
            code = in[i] & 0x1Fu;
            extra = 1;
        } else if ((in[i] & 0xF0) == 0xE0) {
            code = in[i] & 0x0Fu;
            extra = 2;
        } else if ((in[i] & 0xF8) == 0xF0) {
            code = in[i] & 0x07u;
            extra = 3;
        }
        for (k = 1; k <= extra; ++k) {
            if (i + k >= length || (in[i + k] & 0xC0) != 0x80) {
                code = 0xFFFD;
                extra = k - 1;
                break;
            }
            code = (code << 6) | (in[i + k] & 0x3Fu);
        }
        i += 1 + extra;
        if (code > 0xFFFF) {
            code -= 0x10000;
            out[n++] = (char16_t)(0xD800 + (code >> 10));
            out[n++] = (char16_t)(0xDC00 + (code & 0x3FF));
        } else {
            out[n++] = (char16_t)code;
        }
    }
    out[n] = 0;
    return out;
}

/* True when the UTF-16 text equals the ASCII text. */
static int Equals(const char16_t* text, const char* ascii) {
    size_t i = 0;
    if (text == NULL) {
        return 0;
    }
    for (; ascii[i] != '\0'; ++i) {
        if (text[i] != (char16_t)(unsigned char)ascii[i]) {
            return 0;
        }
    }
    return text[i] == 0;
}

static char* ReadWholeFile(const char* path) {
    FILE* file = fopen(path, "rb");
    char* text = NULL;
    long size;
    if (file == NULL) {
        return NULL;
    }
    if (fseek(file, 0, SEEK_END) == 0 && (size = ftell(file)) >= 0 &&
        fseek(file, 0, SEEK_SET) == 0) {
        text = malloc((size_t)size + 1);
        if (text != NULL) {
            size_t got = fread(text, 1, (size_t)size, file);
            text[got] = '\0';
        }
    }
    fclose(file);
    return text;
}

/* A fresh database `name` in the scratch folder holding `schema`'s tables and `rows`; returns its
 * UTF-16 path (the caller frees) or null. */
static char16_t* BuildDatabase(const char* name, const char* schema, const char* rows) {
    char* path = JoinPath(workDir, name);
    char* schemaPath = JoinPath(schemaDir, schema);
    char* schemaText = schemaPath != NULL ? ReadWholeFile(schemaPath) : NULL;
    char16_t* widePath = NULL;
    sqlite3* db = NULL;
    if (path != NULL && schemaText != NULL) {
        remove(path);
        if (sqlite3_open(path, &db) == SQLITE_OK &&
            sqlite3_exec(db, "PRAGMA secure_delete=OFF;", NULL, NULL, NULL) == SQLITE_OK &&
            sqlite3_exec(db, schemaText, NULL, NULL, NULL) == SQLITE_OK &&
            sqlite3_exec(db, rows, NULL, NULL, NULL) == SQLITE_OK) {
            widePath = Widen(path);
        } else {
            fprintf(stderr, "%s: %s\n", name, db != NULL ? sqlite3_errmsg(db) : "no memory");
        }
        sqlite3_close(db);
    }
    free(schemaText);
    free(schemaPath);
    free(path);
    CHECK(widePath != NULL);
    return widePath;
}

static void CountRecord(void* record, void* userData) {
    CHECK(record != NULL);
    ++*(int*)userData;
}

static void CountAttachment(const char* guid, const char* fileName, int32_t kind, void* userData) {
    CHECK(strcmp(guid, "guid-1") == 0);
    CHECK(strcmp(fileName, "IMG_1.JPG") == 0);
    CHECK(kind == 2);
    ++*(int*)userData;
}

static void CountImage(const unsigned char* image, int32_t length, int32_t recordId,
                       void* userData) {
    CHECK(length == 4 && memcmp(image, "\x89PNG", 4) == 0);
    CHECK(recordId == 1);
    ++*(int*)userData;
}

static void TestContacts(const char16_t* addressBook, const char16_t* images) {
    int32_t count = -1;
    Person* persons = NULL;
    MultiValue* values = NULL;
    MultiValueEntry* entries = NULL;
    int seen = 0;
    CHECK(qvGetContactInfo(addressBook, &count, &persons, &values, &entries, CountRecord, &seen) ==
          DBQUARRY_OK);
    CHECK(count == 1);
    CHECK(seen == 1);
    CHECK(persons != NULL && Equals(persons->first, "John") && Equals(persons->phone, "111"));
    CHECK(persons != NULL && Equals(persons->groups, "Friends;") && persons->deleted == 0);
    CHECK(values != NULL && values->record_id == 1 && Equals(values->label, "_$!<Mobile>!$_"));
    CHECK(entries != NULL && Equals(entries->key, "Street") && Equals(entries->value, "Main"));

    seen = 0;
    CHECK(qvGetContactImage(images, CountImage, &seen) == DBQUARRY_OK);
    CHECK(seen == 1);

    qvGetDeletedContacts(addressBook, addressBook, &persons);
    CHECK(persons != NULL && persons->rowid == 1);
}

static void TestMessagesIos5(const char16_t* path, const char16_t* addressBook) {
    int32_t count = -1;
    MsgGroup_iOS5* groups = NULL;
    Message_iOS5* messages = NULL;
    MsgPiece_iOS5* pieces = NULL;
    int seen = 0;
    CHECK(qvGetMessage_iOS5(path, &count, &groups, &messages, &pieces, CountRecord, &seen) ==
          DBQUARRY_OK);
    CHECK(count == 1 && seen == 1);
    CHECK(groups != NULL && Equals(groups->address, "111(JohnSmith);"));
    CHECK(messages != NULL && Equals(messages->text, "hi") && messages->group_id == 1);
    CHECK(pieces != NULL && pieces->length == 3 && pieces->isBinary == 0 &&
          memcmp(pieces->data, "abc", 4) == 0);

    seen = 0;
    CHECK(qvGetMadridAttachment_iOS5(path, CountAttachment, &seen) == DBQUARRY_OK);
    CHECK(seen == 1);

    qvGetDeletedMsg_iOS5(addressBook, path, &messages, &groups);
    CHECK(groups != NULL && groups->rowid == 1 && messages != NULL && messages->rowid == 1);
}

static void TestMessagesIos6(const char16_t* path, const char16_t* addressBook) {
    int32_t count = -1;
    Handle_iOS6* handles = NULL;
    Message_iOS6* messages = NULL;
    Attachment_iOS6* attachments = NULL;
    int seen = 0;
    CHECK(qvGetMessage_iOS6(path, &count, &handles, &messages, &attachments, CountRecord, &seen) ==
          DBQUARRY_OK);
    CHECK(count == 1 && seen == 1);
    CHECK(handles != NULL && Equals(handles->id, "111(JohnSmith);"));
    CHECK(attachments != NULL && Equals(attachments->filename, "Library/SMS/x.jpg"));
    CHECK(messages != NULL && Equals(messages->text, "yo") && messages->hasAttachment == 1);

    qvGetDeletedMsg_iOS6(addressBook, path, &messages, &handles);
    CHECK(handles != NULL && handles->rowid == 1 && messages != NULL && messages->rowid == 1);
}

static void TestCalls(const char16_t* path, const char16_t* addressBook) {
    int32_t count = -1;
    CallRecord* calls = NULL;
    CallRecord* record;
    int seen = 0;
    int recovered = 0;
    CHECK(qvGetCallHistory(path, &count, &calls, NULL, NULL) == DBQUARRY_OK);
    CHECK(count == 199 && calls == NULL);
    CHECK(qvGetCallHistory(path, NULL, &calls, CountRecord, &seen) == DBQUARRY_OK);
    CHECK(seen == 199);
    CHECK(calls != NULL && calls->rowid == 1 && Equals(calls->address, "111") &&
          calls->date == 5000000000 && calls->duration == 42 && calls->flags == 5);

    /* The deleted call comes back from free space, appended after the live ones. */
    qvGetDeleteCallHistory(addressBook, path, &calls);
    CHECK(calls != NULL && calls->rowid == 1);
    for (record = calls; record != NULL; record = record->nextRecord) {
        if (record->deleted) {
            ++recovered;
            CHECK(record->rowid == 0 && record->flags == 5 &&
                  Equals(record->address, "N/A-+1 555 31150"));
        }
    }
    CHECK(recovered == 1);
}

static void TestSingleTables(const char16_t* photosPath, const char16_t* calendarPath,
                             const char16_t* notesPath, const char16_t* memosPath,
                             const char16_t* bookmarksPath) {
    int32_t roll = -1, videos = -1, stream = -1, events = -1, reminders = -1, count = -1;
    CameraPhoto* photos = NULL;
    CalendarItem* items = NULL;
    NoteRecord* notes = NULL;
    VoiceMemo* memos = NULL;
    BookMark* bookmarks = NULL;

    CHECK(qvGetCameraPhotos(photosPath, &roll, &videos, &stream, NULL, NULL, NULL) == DBQUARRY_OK);
    CHECK(roll == 1 && videos == 1 && stream == 0);
    CHECK(qvGetCameraPhotos(photosPath, NULL, NULL, NULL, &photos, NULL, NULL) == DBQUARRY_OK);
    CHECK(photos != NULL && photos->index == 1 && Equals(photos->zfilename, "IMG_0001.JPG"));
    CHECK(photos != NULL && photos->nextRecord != NULL && photos->nextRecord->index == 2 &&
          photos->nextRecord->zduration == 12.5);

    CHECK(qvGetCalendarAndReminder(calendarPath, &events, &reminders, NULL, NULL, NULL) ==
          DBQUARRY_OK);
    CHECK(events == 1 && reminders == 1);
    CHECK(qvGetCalendarAndReminder(calendarPath, NULL, NULL, &items, NULL, NULL) == DBQUARRY_OK);
    CHECK(items != NULL && Equals(items->summary, "Standup") && Equals(items->title, "Home"));

    CHECK(qvGetNotes(notesPath, &count, NULL, NULL, NULL) == DBQUARRY_OK && count == 1);
    CHECK(qvGetNotes(notesPath, NULL, &notes, NULL, NULL) == DBQUARRY_OK);
    CHECK(notes != NULL && Equals(notes->ZTITLE, "Title") && Equals(notes->ZCONTENT, "Body"));

    CHECK(qvGetVoiceMemos(memosPath, &count, NULL, NULL, NULL) == DBQUARRY_OK && count == 1);
    CHECK(qvGetVoiceMemos(memosPath, NULL, &memos, NULL, NULL) == DBQUARRY_OK);
    CHECK(memos != NULL && memos->ZDURATION == 3 && Equals(memos->ZPATH, "Media/x.m4a"));

    CHECK(qvGetBookMarks(bookmarksPath, &count, NULL, NULL, NULL) == DBQUARRY_OK && count == 1);
    CHECK(qvGetBookMarks(bookmarksPath, NULL, &bookmarks, NULL, NULL) == DBQUARRY_OK);
    CHECK(bookmarks != NULL && bookmarks->id == 2 && Equals(bookmarks->url, "https://x.test/"));
}

static void TestFailures(const char16_t* notesPath) {
    int32_t count = 7;
    NoteRecord* notes = NULL;
    char* missing = JoinPath(workDir, "missing.sqlite");
    char16_t* wideMissing = missing != NULL ? Widen(missing) : NULL;
    CHECK(qvGetNotes(wideMissing, &count, &notes, NULL, NULL) == DBQUARRY_OPEN_FAILED);
    CHECK(qvGetCallHistory(notesPath, &count, NULL, NULL, NULL) == DBQUARRY_PREPARE_FAILED);
    CHECK(count == 7 && notes == NULL);
    free(wideMissing);
    free(missing);
}

static void FreeEverything(void) {
    qvFreeMessage_iOS5();
    qvFreeMessage_iOS6();
    qvFreeContacts();
    qvFreeCameraPhotos();
    qvFreeCallHistory();
    qvFreeCalendarAndReminder();
    qvFreeNotes();
    qvFreeVoiceMemos();
    qvFreeBookMarks();
}

int main(int argc, char** argv) {
    char16_t *addressBook, *images, *ios5, *ios6, *calls, *photos, *calendar, *notes, *memos,
        *bookmarks;
    if (argc != 3) {
        fprintf(stderr, "usage: %s SCHEMA_DIR SCRATCH_DIR\n", argv[0]);
        return 2;
    }
    schemaDir = argv[1];
    workDir = argv[2];

    addressBook = BuildDatabase(
        "AddressBook.sqlitedb", "addressbook.sql",
        "INSERT INTO ABPerson (ROWID, First, Last) VALUES (1, 'John', 'Smith');"
        "INSERT INTO ABMultiValueLabel (rowid, value) VALUES (1, '_$!<Mobile>!$_');"
        "INSERT INTO ABMultiValue (UID, record_id, property, identifier, label, value)"
        " VALUES (1, 1, 3, 0, 1, '111');"
        "INSERT INTO ABMultiValueEntryKey (rowid, value) VALUES (1, 'Street');"
        "INSERT INTO ABMultiValueEntry (parent_id, key, value) VALUES (1, 1, 'Main');"
        "INSERT INTO ABGroup (ROWID, Name) VALUES (1, 'Friends');"
        "INSERT INTO ABGroupMembers (group_id, member_type, member_id) VALUES (1, 0, 1);");
    images = BuildDatabase("AddressBookImages.sqlitedb", "addressbook-images.sql",
                           "INSERT INTO ABThumbnailImage (record_id, format, data)"
                           " VALUES (1, 0, X'89504E47'), (1, 1, X'FF');");
    ios5 = BuildDatabase(
        "sms5.db", "ios5-sms-fresh.sql",
        "INSERT INTO msg_group (ROWID, type) VALUES (1, 0);"
        "INSERT INTO group_member (group_id, address) VALUES (1, '111');"
        "INSERT INTO message (ROWID, address, date, text, flags, group_id, is_madrid)"
        " VALUES (1, '111', 100, 'hi', 2, 1, 0);"
        "INSERT INTO msg_pieces (message_id, data, content_type) VALUES (1, 'abc', 'text/plain');"
        "INSERT INTO madrid_attachment (attachment_guid, filename, uti_type, mime_type)"
        " VALUES ('guid-1', 'IMG_1.JPG', 'public.jpeg', 'image/jpeg'),"
        " ('guid-2', 'x.gif', 'com.compuserve.gif', 'image/gif');");
    ios6 = BuildDatabase(
        "sms6.db", "ios6-sms.sql",
        "INSERT INTO handle (ROWID, id, service) VALUES (1, '111', 'SMS');"
        "INSERT INTO message (ROWID, guid, text, handle_id, date) VALUES (1, 'm1', 'yo', 1, 5);"
        "INSERT INTO attachment (ROWID, guid, filename, mime_type)"
        " VALUES (1, 'a1', '~/Library/SMS/x.jpg', 'image/jpeg');"
        "INSERT INTO message_attachment_join (message_id, attachment_id) VALUES (1, 1);");
    calls = BuildDatabase("call_history.db", "call-history.sql",
                          "INSERT INTO call (ROWID, address, date, duration, flags)"
                          " VALUES (1, '111', 5000000000, 42, 5), (2, '222', 6, 0, 4);"
                          "WITH RECURSIVE n(i) AS (SELECT 3 UNION ALL SELECT i + 1 FROM n"
                          " WHERE i < 200) INSERT INTO call (address, date, duration, flags, id,"
                          " country_code, network_code, read, assisted, originalAddress)"
                          " SELECT '+1 555 3' || (1000 + i), 1340000000 + i * 3600, 1 + i % 300,"
                          " 5, -1, '310', '410', 1, 0, '+1 555 3' || (1000 + i) FROM n;"
                          "DELETE FROM call WHERE ROWID = 150;");
    photos = BuildDatabase(
        "Photos.sqlite", "photos.sql",
        "INSERT INTO ZGENERICASSET (Z_PK, ZDIRECTORY, ZFILENAME, ZDATECREATED,"
        " ZADDITIONALATTRIBUTES) VALUES (1, 'DCIM/100APPLE', 'IMG_0001.JPG', 1, 11),"
        " (2, 'DCIM/100APPLE', 'IMG_0002.MOV', 2, 12);"
        "INSERT INTO ZADDITIONALASSETATTRIBUTES (Z_PK, ZDURATION) VALUES (11, 0), (12, 12.5);");
    calendar = BuildDatabase("Calendar.sqlitedb", "calendar.sql",
                             "INSERT INTO Calendar (ROWID, title) VALUES (1, 'Home');"
                             "INSERT INTO CalendarItem (ROWID, summary, calendar_id, entity_type)"
                             " VALUES (1, 'Standup', 1, 2), (2, 'Milk', 1, 3);");
    notes = BuildDatabase("notes.sqlite", "notes.sql",
                          "INSERT INTO ZNOTEBODY (Z_PK, ZCONTENT) VALUES (1, 'Body');"
                          "INSERT INTO ZNOTE (Z_PK, ZBODY, ZTITLE) VALUES (1, 1, 'Title');");
    memos = BuildDatabase("Recordings.db", "voice-memos.sql",
                          "INSERT INTO ZRECORDING (ZDATE, ZDURATION, ZPATH)"
                          " VALUES (1, 2.5, '/var/mobile/Media/x.m4a');");
    bookmarks = BuildDatabase("Bookmarks.db", "bookmarks.sql",
                              "INSERT INTO bookmarks (id, type, title, url, order_index)"
                              " VALUES (1, 1, 'Root', NULL, 0),"
                              " (2, 0, 'X', 'https://x.test/', 1);");

    if (failures == 0) {
        /* Contacts first: the message readers label addresses with their names. */
        TestContacts(addressBook, images);
        TestMessagesIos5(ios5, addressBook);
        TestMessagesIos6(ios6, addressBook);
        TestCalls(calls, addressBook);
        TestSingleTables(photos, calendar, notes, memos, bookmarks);
        TestFailures(notes);
        FreeEverything();
        FreeEverything(); /* freeing twice is harmless */
    }

    free(addressBook);
    free(images);
    free(ios5);
    free(ios6);
    free(calls);
    free(photos);
    free(calendar);
    free(notes);
    free(memos);
    free(bookmarks);
    if (failures != 0) {
        fprintf(stderr, "%d check(s) failed\n", failures);
        return 1;
    }
    puts("all checks passed");
    return 0;
}
