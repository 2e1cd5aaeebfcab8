// Manifest.db reading speed on a generated 500,000-file Manifest.db, against the old reader on a
// Manifest.mbdb of the same records. Both files are made once and kept beside the executable
// (bench_manifestdb-cache/), since writing them takes longer than the benchmark.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "backup/manifest.h"
#include "backup/manifestdb.h"
#include "backup/mbfile.h"
#include "backup/rowidtable.h"
#include "bench/device_paths.h"
#include "platform/sqlitefile.h"
#include "tools/samplegen/manifestdb_writer.h"
#include "tools/samplegen/mbdb_writer.h"
#include "tools/samplegen/mbfile_writer.h"

namespace {

namespace fs = std::filesystem;
constexpr int kRecords = 500'000;

fs::path& CacheFolder() {
    static fs::path folder = fs::temp_directory_path() / "bench_manifestdb-cache";
    return folder;
}

// Device-shaped domains and paths, as bench_manifest makes them; one row in ten a folder, as in
// a real Manifest.db.
void MakeRows(std::vector<pixhaven::samplegen::ManifestDbRow>& rows,
              std::vector<pixhaven::samplegen::MbdbEntry>& entries) {
    static const char* const kEndings[] = {".HEIC", ".PNG", ".MOV", ".plist", ".db", ".m4a"};
    std::mt19937 random(42);
    for (int i = 0; i < kRecords; ++i) {
        pixhaven::samplegen::MbdbEntry entry;
        pixhaven::bench::DevicePath made = pixhaven::bench::RandomDevicePath(random, i, kEndings);
        entry.domain = made.domain;
        entry.path = std::move(made.path);
        entry.modified = 1'500'000'000 + static_cast<std::uint32_t>(random() % 200'000'000);
        entry.accessed = entry.modified + 3600;
        entry.created = entry.modified - static_cast<std::uint32_t>(random() % 86'400);
        entry.size = random() % 10'000'000;
        entry.inode = static_cast<std::uint64_t>(i) + 1;
        entry.mode = i % 10 == 0 ? 040755 : 0100644;
        pixhaven::samplegen::MbFileFields fields{entry.size,    entry.modified, entry.accessed,
                                                 entry.created, entry.mode,     *entry.path};
        rows.push_back({pixhaven::backup::MakeStoredName(entry.domain, entry.path), *entry.domain,
                        *entry.path, i % 10 == 0 ? 2 : 1,
                        pixhaven::samplegen::EncodeMbFile(fields, i % 2 == 0)});
        entries.push_back(std::move(entry));
    }
}

void MakeCache() {
    const fs::path& folder = CacheFolder();
    if (fs::exists(folder / "Manifest.db") && fs::exists(folder / "Manifest.mbdb")) {
        return;
    }
    std::fprintf(stderr, "writing %d records to %s\n", kRecords, folder.string().c_str());
    fs::create_directories(folder);
    std::vector<pixhaven::samplegen::ManifestDbRow> rows;
    std::vector<pixhaven::samplegen::MbdbEntry> entries;
    MakeRows(rows, entries);
    pixhaven::samplegen::WriteMbdb(folder / "Manifest.mbdb", entries);
    pixhaven::samplegen::WriteManifestDb(folder / "Manifest.db.part", rows);
    fs::rename(folder / "Manifest.db.part", folder / "Manifest.db");
}

void Report(benchmark::State& state, std::size_t records) {
    state.counters["records"] = static_cast<double>(records);
    state.counters["records/s"] =
        benchmark::Counter(static_cast<double>(records) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}

// Reads the cached `file` with `read` once per iteration.
template <typename Read>
void MeasureReader(benchmark::State& state, const char* file, Read read) {
    std::size_t records = 0;
    for (auto _ : state) {
        auto manifest = read(CacheFolder() / file);
        records = manifest ? manifest->size() : 0;
        benchmark::DoNotOptimize(manifest);
    }
    Report(state, records);
}

void BM_ReadManifestDb(benchmark::State& state) {
    MeasureReader(state, "Manifest.db", [](const std::filesystem::path& file) {
        return pixhaven::backup::ReadManifestDb(file);
    });
}
BENCHMARK(BM_ReadManifestDb)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

// The same file read through SQLite alone, as before the page reader.
void BM_ReadManifestDbWithSqlite(benchmark::State& state) {
    MeasureReader(state, "Manifest.db", [](const std::filesystem::path& file) {
        return pixhaven::backup::ReadManifestDbWithSqlite(file);
    });
}
BENCHMARK(BM_ReadManifestDbWithSqlite)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

// The old reader on the same records.
void BM_ReadManifestMbdb(benchmark::State& state) {
    MeasureReader(state, "Manifest.mbdb", [](const std::filesystem::path& file) {
        return pixhaven::backup::ReadManifest(file);
    });
}
BENCHMARK(BM_ReadManifestMbdb)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

// SQLite's own share: stepping every row and touching its columns, one thread, nothing decoded.
void BM_StepRowsOnly(benchmark::State& state) {
    std::size_t records = 0;
    for (auto _ : state) {
        const auto db = pixhaven::platform::OpenSqliteReadOnly(CacheFolder() / "Manifest.db");
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db.get(), "SELECT fileID, domain, relativePath, flags, file FROM Files",
                           -1, &statement, nullptr);
        records = 0;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            benchmark::DoNotOptimize(sqlite3_column_text(statement, 0));
            benchmark::DoNotOptimize(sqlite3_column_blob(statement, 4));
            ++records;
        }
        sqlite3_finalize(statement);
    }
    Report(state, records);
}
BENCHMARK(BM_StepRowsOnly)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

// The page reader's own share: every row of Files visited, one thread, nothing decoded.
void BM_VisitRowsOnly(benchmark::State& state) {
    std::size_t records = 0;
    const auto db = pixhaven::platform::OpenSqliteReadOnly(CacheFolder() / "Manifest.db");
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db.get(), "SELECT rootpage FROM sqlite_master WHERE name = 'Files'", -1,
                       &statement, nullptr);
    sqlite3_step(statement);
    const auto root = static_cast<std::uint32_t>(sqlite3_column_int64(statement, 0));
    sqlite3_finalize(statement);
    for (auto _ : state) {
        const auto source = pixhaven::backup::OpenFilePages(CacheFolder() / "Manifest.db");
        const auto table = pixhaven::backup::RowidTable::Open(*source, root);
        records = 0;
        table->ReadRows(*source, 0, table->LeafCount(), 5,
                        [&](std::span<const pixhaven::backup::StoredValue> values) {
                            benchmark::DoNotOptimize(values[4].bytes.data());
                            ++records;
                        });
    }
    Report(state, records);
}
BENCHMARK(BM_VisitRowsOnly)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

void BM_DecodeMbFile(benchmark::State& state) {
    const std::string archived =
        pixhaven::samplegen::EncodeMbFile({123456, 1'500'000'000, 1'500'000'060, 1'499'999'000,
                                           0100644, "Media/DCIM/100APPLE/IMG_0001.HEIC"},
                                          true);
    for (auto _ : state) {
        benchmark::DoNotOptimize(pixhaven::backup::DecodeMbFile(archived));
    }
}
BENCHMARK(BM_DecodeMbFile);

}  // namespace

int main(int argc, char** argv) {
    if (argc > 0) {
        // Kept beside the executable, in the build folder.
        std::error_code error;
        const fs::path self = fs::absolute(argv[0], error);
        if (!error) {
            CacheFolder() = self.parent_path() / "bench_manifestdb-cache";
        }
    }
    MakeCache();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
