// The carving engine on arbitrary database files: every mode of both parsers, on the input written
// to one temporary file (the parsers read files, not memory). Must never crash, hang or read out of
// bounds.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "cellsalvage/iphonesqlitparse.h"
#include "cellsalvage/sqliteparse.h"
#include "platform/textcodec.h"

namespace {

namespace fs = std::filesystem;

// A folder of this process: holds the input file, and is the current folder so that the text files
// the Android parser writes land there. Removed at exit.
class Workspace {
public:
    Workspace()
        : folder_(fs::temp_directory_path() /
                  ("fuzz_cellsalvage_" + std::to_string(static_cast<long>(::getpid())))),
          input_(folder_ / "input.db") {
        fs::create_directories(folder_);
        fs::current_path(folder_);
        std::fprintf(stderr,
                     "fuzz_cellsalvage: working in %s (artifacts land here unless "
                     "-artifact_prefix is given)\n",
                     folder_.c_str());
    }
    ~Workspace() {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    const fs::path& write(const std::uint8_t* data, std::size_t size) {
        std::ofstream out(input_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        return input_;
    }

private:
    fs::path folder_;
    fs::path input_;
};

Workspace& TheWorkspace() {
    static Workspace workspace;
    return workspace;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    TheWorkspace();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::u16string path = pixhaven::platform::PathToUtf16(TheWorkspace().write(data, size));
    static constexpr struct {
        ePaserType type;
        eOSType os;
    } kIosModes[] = {{PARSE_CONTACTS, OS_IOS5},
                     {PARSE_MESSAGES, OS_IOS5},
                     {PARSE_MESSAGES, OS_IOS6},
                     {PARSE_CALL_HISTORY, OS_IOS5}};
    std::size_t total = 0;
    for (const auto& mode : kIosModes) {
        IphoneSqlitParse parser(path, path);
        parser.startParse(mode.type, mode.os);
        total += parser.recoveredText.size();
    }
    for (const ePaserType type : {PARSE_CONTACTS, PARSE_MESSAGES}) {
        SqliteParse parser(path, path);
        parser.startParse(type, OS_NONE);
        total += parser.recoveredText.size();
    }
    return total == SIZE_MAX ? 1 : 0;
}
