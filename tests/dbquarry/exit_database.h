/* Shared by the exit tests (built as C and as C++): a small database with one call, one bookmark
 * and one voice memo, and a reader call of each. */
#ifndef PIXHAVEN_TESTS_DBQUARRY_EXIT_DATABASE_H
#define PIXHAVEN_TESTS_DBQUARRY_EXIT_DATABASE_H

#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "dbquarry/dbquarry.h"

/* Writes `folder`/`name` afresh and returns its path as UTF-16 (SQLite does the conversion), in a
 * buffer the caller frees; null on failure. */
static char16_t* BuildExitDatabase(const char* folder, const char* name) {
    static const char kRows[] =
        "CREATE TABLE call (ROWID INTEGER PRIMARY KEY, address TEXT, date INTEGER,"
        " duration INTEGER, flags INTEGER);"
        "INSERT INTO call VALUES (1, '111', 5, 42, 5);"
        "CREATE TABLE bookmarks (id INTEGER, parent INTEGER, type INTEGER, title TEXT, url TEXT,"
        " num_children INTEGER, hidden INTEGER);"
        "INSERT INTO bookmarks VALUES (2, 0, 0, 'X', 'https://x.test/', 0, 0);"
        "CREATE TABLE ZRECORDING (ZDATE INTEGER, ZDURATION REAL, ZCUSTOMLABEL TEXT, ZPATH TEXT);"
        "INSERT INTO ZRECORDING VALUES (1, 2.5, 'memo', '/var/mobile/Media/x.m4a');";
    size_t length = strlen(folder) + 1 + strlen(name) + 1;
    char* path = (char*)malloc(length);
    char16_t* widePath = NULL;
    sqlite3* db = NULL;
    sqlite3_stmt* statement = NULL;
    if (path == NULL) {
        return NULL;
    }
    snprintf(path, length, "%s/%s", folder, name);
    remove(path);
    if (sqlite3_open(path, &db) == SQLITE_OK &&
        sqlite3_exec(db, kRows, NULL, NULL, NULL) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "SELECT ?1", -1, &statement, NULL) == SQLITE_OK &&
        sqlite3_bind_text(statement, 1, path, -1, SQLITE_STATIC) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        const void* text = sqlite3_column_text16(statement, 0);
        size_t bytes = (size_t)sqlite3_column_bytes16(statement, 0);
        widePath = (char16_t*)calloc(bytes / sizeof(char16_t) + 1, sizeof(char16_t));
        if (widePath != NULL && text != NULL) {
            memcpy(widePath, text, bytes);
        }
    } else {
        fprintf(stderr, "%s: %s\n", path, db != NULL ? sqlite3_errmsg(db) : "no memory");
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    free(path);
    return widePath;
}

static int ReadCalls(const char16_t* path) {
    CallRecord* calls = NULL;
    return qvGetCallHistory(path, NULL, &calls, NULL, NULL) == DBQUARRY_OK && calls != NULL &&
           calls->duration == 42;
}

static int ReadBookmarks(const char16_t* path) {
    BookMark* bookmarks = NULL;
    return qvGetBookMarks(path, NULL, &bookmarks, NULL, NULL) == DBQUARRY_OK && bookmarks != NULL &&
           bookmarks->id == 2;
}

static int ReadVoiceMemos(const char16_t* path) {
    VoiceMemo* memos = NULL;
    return qvGetVoiceMemos(path, NULL, &memos, NULL, NULL) == DBQUARRY_OK && memos != NULL;
}

#endif
