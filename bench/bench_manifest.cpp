// Manifest reading speed on a generated 500,000-record manifest (about 60 MB).
//   bench_manifest                       Google Benchmark run
//   bench_manifest --write-backup DIR    writes DIR/Manifest.mbdb for timing pixhaven-cli
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <utility>

#include "backup/manifest.h"
#include "backup/sha1.h"
#include "bench/device_paths.h"
#include "tools/samplegen/mbdb_writer.h"

namespace {

constexpr int kRecords = 500'000;

// Domains and paths shaped like a real device's, with the spread of lengths a real one has.
std::string MakeManifestBytes(int records) {
    static const char* const kEndings[] = {".JPG", ".PNG", ".MOV", ".plist", ".db", ".m4a"};
    std::mt19937 random(42);
    std::string bytes = pixhaven::samplegen::MbdbHeader();
    bytes.reserve(static_cast<std::size_t>(records) * 125);
    pixhaven::samplegen::MbdbEntry entry;
    for (int i = 0; i < records; ++i) {
        pixhaven::bench::DevicePath made = pixhaven::bench::RandomDevicePath(random, i, kEndings);
        entry.domain = made.domain;
        entry.path = std::move(made.path);
        entry.dataHash = std::string(20, static_cast<char>(random()));
        entry.modified = 1'300'000'000 + static_cast<std::uint32_t>(random() % 200'000'000);
        entry.accessed = entry.modified + 3600;
        entry.created = entry.modified - static_cast<std::uint32_t>(random() % 86'400);
        entry.size = random() % 10'000'000;
        entry.inode = static_cast<std::uint64_t>(i) + 1;
        entry.properties.clear();
        if (i % 10 == 0) {
            entry.properties.push_back({"com.apple.assetsd.UUID", std::string(16, 'u')});
        }
        pixhaven::samplegen::AppendMbdbRecord(bytes, entry);
    }
    return bytes;
}

bool WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

const std::filesystem::path& ManifestFile() {
    static const std::filesystem::path file = [] {
        const auto folder = std::filesystem::temp_directory_path() / "pixhaven-bench-manifest";
        std::filesystem::create_directories(folder);
        const auto path = folder / "Manifest.mbdb";
        WriteFile(path, MakeManifestBytes(kRecords));
        return path;
    }();
    return file;
}

void BM_ReadManifest(benchmark::State& state) {
    const auto& file = ManifestFile();
    const auto bytes = std::filesystem::file_size(file);
    std::size_t records = 0;
    for (auto _ : state) {
        auto manifest = pixhaven::backup::ReadManifest(file);
        records = manifest ? manifest->size() : 0;
        benchmark::DoNotOptimize(manifest);
    }
    state.counters["records/s"] =
        benchmark::Counter(static_cast<double>(records) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
}
BENCHMARK(BM_ReadManifest)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_MakeStoredName(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(pixhaven::backup::MakeStoredName(
            "CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.JPG"));
    }
}
BENCHMARK(BM_MakeStoredName);

// The same text through the portable block function, as on processors without SHA instructions.
void BM_Sha1PortableStoredName(benchmark::State& state) {
    constexpr std::string_view kText = "CameraRollDomain-Media/DCIM/100APPLE/IMG_0001.JPG";
    for (auto _ : state) {
        pixhaven::backup::Sha1 sha(pixhaven::backup::Sha1Engine::Portable);
        sha.Update(kText.data(), kText.size());
        benchmark::DoNotOptimize(sha.Finish());
    }
}
BENCHMARK(BM_Sha1PortableStoredName);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == "--write-backup") {
        const std::filesystem::path folder = argv[2];
        std::filesystem::create_directories(folder);
        const std::string bytes = MakeManifestBytes(kRecords);
        if (!WriteFile(folder / "Manifest.mbdb", bytes)) {
            std::fputs("bench_manifest: cannot write the manifest\n", stderr);
            return 1;
        }
        std::printf("%zu bytes, %d records\n", bytes.size(), kRecords);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
