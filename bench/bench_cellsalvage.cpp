// Carving speed of IphoneSqlitParse on generated device databases with deleted rows spread over
// the whole file: a 200 MB iOS 6 message database with 100,000 deleted messages, and smaller iOS 5
// message and call-history databases. The databases are generated once and cached beside this
// executable (cellsalvage-bench-data/), keyed by their parameters.
// Counters: MB/s of the database file over wall time, recovered lines, the peak resident
// memory of a run and how far it rose above the start of the run.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "cellsalvage/iphonesqlitparse.h"
#include "platform/textcodec.h"
#include "tools/dbfixtures/messagedb.h"

namespace {

namespace fs = std::filesystem;
using pixhaven::dbfixtures::GeneratedKind;

constexpr std::uint32_t kSeed = 20130611;
constexpr int kAddressBookPersons = 800;

fs::path DataFolder() {
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    const fs::path folder = error ? fs::temp_directory_path() : executable.parent_path();
    return folder / "cellsalvage-bench-data";
}

const fs::path& AddressBook() {
    static const fs::path file = [] {
        const fs::path path = DataFolder() / "AddressBook.sqlitedb";
        fs::create_directories(path.parent_path());
        pixhaven::dbfixtures::GenerateAddressBook(path, kAddressBookPersons, kSeed);
        return path;
    }();
    return file;
}

// The peak resident memory of a run, and how far it rose above the start: VmHWM after resetting
// it (freed heap handed back first), or else ru_maxrss.
class PeakMemory {
public:
    PeakMemory()
        : resettable_((malloc_trim(0), ResetHighWaterMark())),
          before_(resettable_ ? StatusField("VmRSS:") : MaxRss()) {}
    double PeakMegabytes() const {
        return static_cast<double>(resettable_ ? StatusField("VmHWM:") : MaxRss()) / 1024.0;
    }
    double GrowthMegabytes() const {
        return std::max(PeakMegabytes() - static_cast<double>(before_) / 1024.0, 0.0);
    }

private:
    static bool ResetHighWaterMark() {
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5" << std::flush;
        return static_cast<bool>(clear);
    }
    static long MaxRss() {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    }
    // A kB field of /proc/self/status.
    static long StatusField(const std::string& name) {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind(name, 0) == 0) {
                return std::stol(line.substr(name.size()));
            }
        }
        return 0;
    }

    bool resettable_;
    long before_;
};

std::int64_t CountLines(const std::string& text) {
    return static_cast<std::int64_t>(std::count(text.begin(), text.end(), '\n'));
}

void CarveDatabase(benchmark::State& state, GeneratedKind kind, ePaserType type, eOSType os) {
    const auto targetBytes = static_cast<std::uint64_t>(state.range(0)) << 20;
    const auto deletedRows = static_cast<std::int64_t>(state.range(1));
    const fs::path database =
        pixhaven::dbfixtures::CachedDatabase(DataFolder(), kind, targetBytes, deletedRows, kSeed);
    const std::u16string addressBook = pixhaven::platform::PathToUtf16(AddressBook());
    const std::u16string records = pixhaven::platform::PathToUtf16(database);
    const auto fileBytes = static_cast<std::int64_t>(fs::file_size(database));

    std::int64_t lines = 0;
    double peak = 0;
    double growth = 0;
    for (auto _ : state) {
        const PeakMemory memory;
        IphoneSqlitParse parser(addressBook, records);
        parser.startParse(type, os);
        lines = CountLines(parser.recoveredText);
        benchmark::DoNotOptimize(parser.recoveredText.data());
        peak = std::max(peak, memory.PeakMegabytes());
        growth = std::max(growth, memory.GrowthMegabytes());
    }
    state.SetBytesProcessed(fileBytes * static_cast<std::int64_t>(state.iterations()));
    state.counters["file_MB"] = static_cast<double>(fileBytes) / (1 << 20);
    state.counters["lines"] = static_cast<double>(lines);
    state.counters["peak_MB"] = peak;
    state.counters["growth_MB"] = growth;
}

void BM_Ios6Messages(benchmark::State& state) {
    CarveDatabase(state, GeneratedKind::Ios6Messages, PARSE_MESSAGES, OS_IOS6);
}
void BM_Ios5Messages(benchmark::State& state) {
    CarveDatabase(state, GeneratedKind::Ios5Messages, PARSE_MESSAGES, OS_IOS5);
}
void BM_CallHistory(benchmark::State& state) {
    CarveDatabase(state, GeneratedKind::CallHistory, PARSE_CALL_HISTORY, OS_IOS5);
}

// Arguments: database size in MB, deleted rows.
BENCHMARK(BM_Ios6Messages)
    ->Args({200, 100'000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(BM_Ios5Messages)
    ->Args({64, 25'000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(BM_CallHistory)
    ->Args({64, 25'000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
