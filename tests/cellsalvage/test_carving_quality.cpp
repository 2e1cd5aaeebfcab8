// The carving engine's recall and precision per mode on generated device databases: the whole
// measurement on small databases, its answer keys and its scorer checked, and the thresholds every
// mode has to meet (bench/bench_carving_quality prints the table on larger ones).
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "tests/support/tempdir.h"
#include "tools/carvingquality/carvingquality.h"
#include "tools/dbfixtures/dbfixtures.h"
#include "tools/dbfixtures/freespace.h"

namespace {

using namespace pixhaven::carvingquality;
using pixhaven::dbfixtures::FileSpace;
using pixhaven::dbfixtures::ModeName;
using pixhaven::dbfixtures::ScenarioName;
using pixhaven::dbfixtures::TruthRow;

constexpr int kRows = 120;
constexpr std::uint32_t kSeed = 7;

// The engine writes the locale's charset; UTF-8 keeps every generated text.
class Utf8Locale {
public:
    Utf8Locale() { std::setlocale(LC_ALL, "C.UTF-8"); }
    ~Utf8Locale() { std::setlocale(LC_ALL, "C"); }
    Utf8Locale(const Utf8Locale&) = delete;
    Utf8Locale& operator=(const Utf8Locale&) = delete;
};

std::string OrNoValue(const std::string& text) {
    return text.empty() ? "N/A" : text;
}

// The line a carver that knows everything the file still holds prints for `row`.
std::string IdealLine(CarvingMode mode, const TruthRow& row) {
    const std::string name = row.ownerKnown ? row.owner : "N/A";
    switch (mode) {
        case CarvingMode::IosContacts:
            return name + "\t" + row.fields[0];
        case CarvingMode::Ios5MessagesFresh:
        case CarvingMode::Ios5MessagesUpgraded:
            return "N/A-" + OrNoValue(row.fields[0]) + "\t" + OrNoValue(row.fields[1]);
        case CarvingMode::IosCalls:
            return "N/A-" + row.fields[0] + "\t" + (row.fields[1] == "4" ? "Incoming" : "Outgoing");
        case CarvingMode::AndroidContacts:
            return row.role == TruthRow::Role::Name ? row.fields[0] + "\tN/A"
                                                    : name + "\t" + row.fields[0];
        case CarvingMode::AndroidMessages:
            return "N/A\t" + OrNoValue(row.fields[0]) + "\t" + OrNoValue(row.fields[1]);
        default:
            return row.fields[0];
    }
}

std::string IdealText(const CarvingFixture& fixture) {
    std::string text;
    for (const TruthRow& row : fixture.deleted) {
        if (row.surviving) {
            text += IdealLine(fixture.mode, row) + "\r\n";
        }
    }
    return text;
}

// A live row that no deleted row repeats, as the ideal carver would print it ("" when none).
std::string LiveOnlyLine(const CarvingFixture& fixture) {
    for (const TruthRow& live : fixture.live) {
        const bool repeated =
            std::any_of(fixture.deleted.begin(), fixture.deleted.end(),
                        [&](const TruthRow& deleted) { return deleted.fields == live.fields; });
        if (!repeated &&
            (fixture.mode != CarvingMode::AndroidContacts || live.role == TruthRow::Role::Name)) {
            return IdealLine(fixture.mode, live);
        }
    }
    return {};
}

// The answer key follows from the files, and the scorer gives an ideal carver full marks and
// holds a live copy, garbage and an empty record against it.
void CheckFixture(const CarvingFixture& fixture, const std::string& /*recoveredText*/,
                  const Score& score) {
    SCOPED_TRACE(std::string(ModeName(fixture.mode)) + ", " + ScenarioName(fixture.scenario));
    const FileSpace space(fixture.carvedPath, fixture.rootPages);
    for (const TruthRow& row : fixture.live) {
        EXPECT_FALSE(row.surviving);
        if (!row.spills) {
            EXPECT_TRUE(space.FoundInLiveCells(row.evidence)) << "live row " << row.rowid;
        }
    }
    int surviving = 0;
    for (const TruthRow& row : fixture.deleted) {
        EXPECT_FALSE(row.evidence.empty());
        EXPECT_FALSE(space.FoundInLiveCells(row.evidence)) << "deleted row " << row.rowid;
        EXPECT_EQ(row.surviving, space.FoundInFreeSpace(row.evidence));
        surviving += row.surviving ? 1 : 0;
    }
    EXPECT_GT(fixture.deleted.size(), 10U);
    EXPECT_EQ(score.deleted, static_cast<int>(fixture.deleted.size()));
    EXPECT_EQ(score.surviving, surviving);
    EXPECT_LE(score.found, score.surviving);
    EXPECT_EQ(score.correct + score.liveCopies + score.garbage + score.empty, score.printed);

    const Score ideal = ScoreText(fixture, IdealText(fixture));
    EXPECT_EQ(ideal.found, surviving);
    EXPECT_EQ(ideal.correct, ideal.printed);
    EXPECT_EQ(ideal.namedRight, ideal.named);
    EXPECT_EQ(ideal.named > 0, IsContactsMode(fixture.mode) && surviving > 0);

    const std::string liveLine = LiveOnlyLine(fixture);
    const Score spoiled =
        ScoreText(fixture, IdealText(fixture) + liveLine + "\r\nzz-garbage\tzz\r\n\r\n");
    EXPECT_EQ(spoiled.liveCopies, liveLine.empty() ? 0 : 1);
    EXPECT_EQ(spoiled.garbage, liveLine.empty() ? 2 : 1);
    EXPECT_EQ(spoiled.empty, 1);
    EXPECT_EQ(spoiled.correct, ideal.correct);
}

TEST(CarvingQuality, MeasuresEveryModeOnSoundAnswerKeys) {
    const Utf8Locale locale;
    const pixhaven::test::TempDir dir;
    const std::vector<ScenarioResult> results = MeasureAll(dir.path(), kRows, kSeed, CheckFixture);
    for (const CarvingMode mode : pixhaven::dbfixtures::kCarvingModes) {
        const Score total = ModeTotal(results, mode);
        // Most deleted rows keep their bytes, but not all: later rows take over their space.
        EXPECT_GT(total.surviving, total.deleted / 2) << ModeName(mode);
        EXPECT_LT(total.surviving, total.deleted) << ModeName(mode);
    }
    std::cout << FormatTable(results);
}

// The rowids of the surviving rows that the fixed signature rules found before the schema-driven
// carver, per database of MeasureAll(2 * kRows, kSeed): written by `bench_carving_quality --rows
// 240 --seed 7 --found FILE` on those rules.
std::map<std::string, std::set<std::int64_t>> FoundByFixedRules() {
    std::ifstream in(pixhaven::dbfixtures::SchemaDir().parent_path() /
                     "carving-old-rules-found.txt");
    std::map<std::string, std::set<std::int64_t>> found;
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t colon = line.find(':');
        std::istringstream rowids(line.substr(colon + 1));
        std::set<std::int64_t>& rows = found[line.substr(0, colon)];
        for (std::int64_t rowid = 0; rowids >> rowid;) {
            rows.insert(rowid);
        }
    }
    return found;
}

// Every mode meets the thresholds, and every row the fixed rules recovered is still recovered.
TEST(CarvingQuality, EveryModeMeetsTheThresholds) {
    const Utf8Locale locale;
    const pixhaven::test::TempDir dir;
    const std::map<std::string, std::set<std::int64_t>> before = FoundByFixedRules();
    ASSERT_EQ(before.size(), 29U);
    const Inspect stillFound = [&](const CarvingFixture& fixture, const std::string& text,
                                   const Score&) {
        const std::string name = FixtureName(fixture);
        const std::vector<std::int64_t> found = FoundRowids(fixture, text);
        for (const std::int64_t rowid : before.at(name)) {
            EXPECT_TRUE(std::count(found.begin(), found.end(), rowid)) << name << ", row " << rowid;
        }
    };
    const std::vector<ScenarioResult> results =
        MeasureAll(dir.path(), 2 * kRows, kSeed, stillFound);
    std::cout << FormatTable(results);
    for (const CarvingMode mode : pixhaven::dbfixtures::kCarvingModes) {
        const Score total = ModeTotal(results, mode);
        EXPECT_GE(total.Recall(), kMinRecall) << ModeName(mode);
        EXPECT_GE(total.Precision(), kMinPrecision) << ModeName(mode);
        if (IsContactsMode(mode)) {
            EXPECT_GE(total.NamedRight(), kMinNamedRight) << ModeName(mode);
        }
    }
}

}  // namespace
