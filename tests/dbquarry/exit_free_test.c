/* Lists freed from atexit handlers, one registered before the library's first use and one after:
 * exit runs them on either side of anything the library sets up on first use, and both must
 * work. A third list is still held at exit and must not count as a leak. Argument: an existing
 * scratch folder. The check is a clean exit (the sanitizer build also checks memory). */
#include "tests/dbquarry/exit_database.h"

static void FreeCallsAtExit(void) {
    qvFreeCallHistory();
    qvFreeCallHistory();
}

static void FreeBookmarksAtExit(void) {
    qvFreeBookMarks();
}

int main(int argc, char** argv) {
    char16_t* path;
    int read;
    if (argc != 2) {
        fprintf(stderr, "usage: %s SCRATCH_DIR\n", argv[0]);
        return 2;
    }
    atexit(FreeCallsAtExit);
    path = BuildExitDatabase(argv[1], "exit_c.db");
    read = path != NULL && ReadCalls(path) && ReadBookmarks(path) && ReadVoiceMemos(path);
    atexit(FreeBookmarksAtExit);
    free(path);
    if (!read) {
        fprintf(stderr, "reading the lists failed\n");
        return 1;
    }
    return 0;
}
