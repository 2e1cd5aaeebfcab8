// How many deleted rows the carving engine finds and how many of its lines are real, per mode and
// scenario, on generated device databases (tools/dbfixtures/carvingdb.h): a plain program that
// prints the table, run by hand.
//
//   build/bench/bench_carving_quality [--rows N] [--seed S] [--keep DIR] [--found FILE]
//
// --rows: rows written per database (3000 by default); --keep: leave the databases in DIR, each
// with its answer key (answer-key.tsv) and what the engine printed (recovered.txt); --found: write
// the rowids of the surviving rows found, one database a line ("mode/scenario: rowids"), the
// form tests/cellsalvage/data/carving-found-*.txt keeps.
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "tools/carvingquality/carvingquality.h"

namespace {

namespace fs = std::filesystem;
using namespace pixhaven::carvingquality;

struct Options {
    int rows = 3000;
    std::uint32_t seed = 20'130'611;
    fs::path keep;
    fs::path found;
};

bool ReadOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--rows") {
            options.rows = std::atoi(value);
        } else if (name == "--seed") {
            options.seed = static_cast<std::uint32_t>(std::strtoul(value, nullptr, 10));
        } else if (name == "--keep") {
            options.keep = value;
        } else if (name == "--found") {
            options.found = value;
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && options.rows > 0;
}

void WriteText(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary);
    out << text;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ReadOptions(argc, argv, options)) {
        std::fprintf(
            stderr,
            "usage: bench_carving_quality [--rows N] [--seed S] [--keep DIR] [--found FILE]\n");
        return 2;
    }
    // The engine writes its text in the locale's charset; UTF-8 keeps every generated text.
    std::setlocale(LC_ALL, "C.UTF-8");
    const fs::path folder = options.keep.empty()
                                ? fs::temp_directory_path() / "pixhaven-carving-quality"
                                : options.keep;
    fs::remove_all(folder);
    const auto start = std::chrono::steady_clock::now();
    std::string found;
    // Kept databases get their answer key and the engine's text beside them.
    const Inspect keepFiles = [&](const CarvingFixture& fixture, const std::string& text,
                                  const Score&) {
        found += FoundLine(fixture, text);
        if (!options.keep.empty()) {
            WriteText(fixture.carvedPath.parent_path() / "answer-key.tsv", AnswerKeyText(fixture));
            WriteText(fixture.carvedPath.parent_path() / "recovered.txt", text);
        }
    };
    const std::vector<ScenarioResult> results =
        MeasureAll(folder, options.rows, options.seed, keepFiles);
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (options.keep.empty()) {
        fs::remove_all(folder);
    }
    if (!options.found.empty()) {
        WriteText(options.found, found);
    }
    std::printf(
        "%s\n%d rows per database, seed %u, %.1f s; thresholds: recall %.0f%%, precision "
        "%.0f%%, contacts named right %.0f%%\n",
        FormatTable(results).c_str(), options.rows, options.seed, seconds, 100 * kMinRecall,
        100 * kMinPrecision, 100 * kMinNamedRight);
    return 0;
}
