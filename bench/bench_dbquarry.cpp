// qvGetMessage_iOS6 (handles, JPEG attachments, messages) on a generated iOS 6 sms.db of 500,000
// messages, against SQLite's own shell running the same message statement as a process in the
// same run. The database is generated once and cached beside this executable
// (dbquarry-bench-data/).
// Counters: messages read; the reader's first run (its records land on fresh heap pages: about
// 170 MB of records and UTF-16 copies) and best run (the heap freed by the previous run reused);
// the shell's best run; best / shell and first / shell.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include "dbquarry/dbquarry.h"
#include "platform/textcodec.h"
#include "tools/dbfixtures/messagedb.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kSeed = 20130611;
constexpr int kShellRuns = 3;
constexpr const char* kMessageStatement =
    "select rowid,guid,text,handle_id,subject,service,date,is_from_me,is_system_message from "
    "message";

fs::path DataFolder() {
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    const fs::path folder = error ? fs::temp_directory_path() : executable.parent_path();
    return folder / "dbquarry-bench-data";
}

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// `sqlite3 DB "statement" > /dev/null` as a process: its wall time, or -1 when it cannot run.
double ShellMilliseconds(const fs::path& database) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::string program = "sqlite3";
    std::string file = database.string();
    std::string statement = kMessageStatement;
    char* argv[] = {program.data(), file.data(), statement.data(), nullptr};
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "sqlite3", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return -1;
    }
    return MillisecondsSince(start);
}

void BM_Ios6Messages(benchmark::State& state) {
    const fs::path database = pixhaven::dbfixtures::CachedIos6MessagesWithAttachments(
        DataFolder(), state.range(0), kSeed);
    const std::u16string path = pixhaven::platform::PathToUtf16(database);

    double first = 0;
    double best = 0;
    std::int64_t messages = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        int32_t handleCount = 0;
        Handle_iOS6* handles = nullptr;
        Message_iOS6* list = nullptr;
        Attachment_iOS6* attachments = nullptr;
        const int code = qvGetMessage_iOS6(path.c_str(), &handleCount, &handles, &list,
                                           &attachments, nullptr, nullptr);
        const double elapsed = MillisecondsSince(start);
        first = first == 0 ? elapsed : first;
        best = best == 0 ? elapsed : std::min(best, elapsed);
        state.PauseTiming();
        if (code != DBQUARRY_OK) {
            state.SkipWithError("qvGetMessage_iOS6 failed");
        }
        messages = 0;
        for (const Message_iOS6* m = list; m != nullptr; m = m->nextRecord) {
            ++messages;
        }
        qvFreeMessage_iOS6();
        state.ResumeTiming();
    }

    double shell = -1;
    for (int run = 0; run < kShellRuns; ++run) {
        const double elapsed = ShellMilliseconds(database);
        shell = shell < 0 ? elapsed : std::min(shell, elapsed);
    }
    state.counters["messages"] = static_cast<double>(messages);
    state.counters["first_ms"] = first;
    state.counters["best_ms"] = best;
    state.counters["shell_ms"] = shell;
    state.counters["ratio"] = shell > 0 ? best / shell : 0;
    state.counters["first_ratio"] = shell > 0 ? first / shell : 0;
}

// Argument: messages in the database.
BENCHMARK(BM_Ios6Messages)
    ->Arg(500'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
