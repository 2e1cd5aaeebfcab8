// Lists freed by the destructor of a caller's global object, which runs after anything the
// library sets up on first use is torn down. Argument: an existing scratch folder. The check is a
// clean exit (the sanitizer build also checks memory).
#include "tests/dbquarry/exit_database.h"

namespace {

struct FreesAtExit {
    ~FreesAtExit() {
        qvFreeCallHistory();
        qvFreeBookMarks();
        qvFreeVoiceMemos();
    }
};

FreesAtExit freesAtExit;

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s SCRATCH_DIR\n", argv[0]);
        return 2;
    }
    char16_t* path = BuildExitDatabase(argv[1], "exit_cpp.db");
    const bool read =
        path != nullptr && ReadCalls(path) && ReadBookmarks(path) && ReadVoiceMemos(path);
    free(path);
    if (!read) {
        fprintf(stderr, "reading the lists failed\n");
        return 1;
    }
    return 0;
}
