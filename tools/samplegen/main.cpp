// pixhaven-samplegen: writes a sample backup root for trying the program and for tests.
#include <charconv>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "tools/samplegen/samplegen.h"

namespace {

namespace samplegen = pixhaven::samplegen;

// A guard against a slip of the keyboard filling the disk.
constexpr std::uint64_t kMostFiles = 1'000'000;
// Key derivation rounds: ten times what devices use is plenty.
constexpr std::uint64_t kMostRounds = 100'000'000;

constexpr std::string_view kUsage =
    "usage: pixhaven-samplegen --out DIR [--seed N] [--files N --photos M [--encrypt-large]]\n"
    "                          [--small]\n"
    "                          [--password TEXT] [--iterations N] [--dp-iterations N]\n"
    "                          [--json-report FILE]\n"
    "  --out DIR           folder to write the backup root into: missing, empty, or written\n"
    "                      by an earlier run\n"
    "  --seed N            random seed; the same seed writes the same files (default 1)\n"
    "  --files N           add a large backup with N records ...\n"
    "  --photos M          ... of which M are pictures (default: two in five)\n"
    "  --encrypt-large     encrypt the large backup too, with the options' password\n"
    "  --small             small pictures only, no 12-megapixel photos\n"
    "  --password TEXT     password of the two encrypted backups (default pixhaven)\n"
    "  --iterations N      their PBKDF2-SHA1 rounds (default 1000; devices use 10000)\n"
    "  --dp-iterations N   the newer one's PBKDF2-SHA256 rounds (default 1000; devices use\n"
    "                      10000000)\n"
    "  --json-report FILE  write what was generated as JSON\n";

struct CommandLine {
    samplegen::SampleOptions options;
    std::optional<std::string> jsonReport;
    std::optional<std::uint64_t> files;
    std::optional<std::uint64_t> photos;
    bool help = false;
};

std::optional<std::uint64_t> ParseNumber(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// Stores one "--name value" pair; returns an error text, empty when it was understood.
std::string TakeOption(std::string_view name, std::string_view value, CommandLine& line) {
    if (name == "--out") {
        line.options.out = std::filesystem::path(value);
        return {};
    }
    if (name == "--json-report") {
        line.jsonReport = std::string(value);
        return {};
    }
    if (name == "--password") {
        line.options.encryption.password = std::string(value);
        return {};
    }
    samplegen::Encryption& encryption = line.options.encryption;
    std::uint32_t* rounds = name == "--iterations"      ? &encryption.iterations
                            : name == "--dp-iterations" ? &encryption.dpIterations
                                                        : nullptr;
    std::optional<std::uint64_t>* target = name == "--files"    ? &line.files
                                           : name == "--photos" ? &line.photos
                                                                : nullptr;
    if (name != "--seed" && target == nullptr && rounds == nullptr) {
        return "unknown option " + std::string(name);
    }
    const auto number = ParseNumber(value);
    if (!number) {
        return std::string(name) + " needs a whole number, not '" + std::string(value) + "'";
    }
    if (rounds != nullptr) {
        if (*number == 0 || *number > kMostRounds) {
            return std::string(name) + " must be 1 to " + std::to_string(kMostRounds);
        }
        *rounds = static_cast<std::uint32_t>(*number);
    } else if (target != nullptr) {
        *target = *number;
    } else {
        line.options.seed = *number;
    }
    return {};
}

std::string ParseArguments(int argc, char** argv, CommandLine& line) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view name = argv[i];
        if (name == "--help" || name == "-h") {
            line.help = true;
            return {};
        }
        if (name == "--small") {
            line.options.preset = samplegen::SamplePreset::Small;
            continue;
        }
        if (name == "--encrypt-large") {
            line.options.largeEncrypted = true;
            continue;
        }
        if (i + 1 >= argc) {
            return "missing value after " + std::string(name);
        }
        if (std::string error = TakeOption(name, argv[++i], line); !error.empty()) {
            return error;
        }
    }
    return {};
}

// Fills in the large backup's counts from whichever of the two was given.
std::string SettleLargeBackup(CommandLine& line) {
    if (!line.files && !line.photos) {
        return {};
    }
    const std::uint64_t photos = line.photos.value_or(*line.files * 2 / 5);
    const std::uint64_t files = line.files.value_or(photos * 5 / 2);
    if (photos > files) {
        return "--photos cannot exceed --files";
    }
    if (files > kMostFiles) {
        return "--files is limited to " + std::to_string(kMostFiles);
    }
    line.options.largeFiles = static_cast<std::size_t>(files);
    line.options.largePhotos = static_cast<std::size_t>(photos);
    return {};
}

std::size_t CountRecords(const samplegen::SampleReport& report) {
    std::size_t records = 0;
    for (const auto& backup : report.backups) {
        records += backup.records.size();
    }
    return records;
}

int Generate(const CommandLine& line) {
    const samplegen::SampleReport report = samplegen::GenerateSampleRoot(line.options);
    if (line.jsonReport) {
        std::ofstream out(*line.jsonReport, std::ios::binary | std::ios::trunc);
        out << samplegen::ReportToJson(report);
        out.close();
        if (!out) {
            std::cerr << "pixhaven-samplegen: cannot write " << *line.jsonReport << '\n';
            return 1;
        }
    }
    std::cout << "Wrote " << report.backups.size() << " backups with " << CountRecords(report)
              << " manifest records to " << report.root.string() << '\n';
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine line;
    std::string error = ParseArguments(argc, argv, line);
    if (error.empty() && !line.help) {
        error = line.options.out.empty() ? "--out is required" : SettleLargeBackup(line);
    }
    if (line.help) {
        std::cout << kUsage;
        return 0;
    }
    if (!error.empty()) {
        std::cerr << "pixhaven-samplegen: " << error << '\n' << kUsage;
        return 2;
    }
    try {
        return Generate(line);
    } catch (const std::exception& failure) {
        std::cerr << "pixhaven-samplegen: " << failure.what() << '\n';
        return 1;
    }
}
