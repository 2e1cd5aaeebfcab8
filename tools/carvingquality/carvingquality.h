// Measures how well the carving engine finds deleted rows: runs it on generated device databases
// (tools/dbfixtures/carvingdb.h) the way the product does and matches every line it prints against
// the answer key.
//
// Matching rule. Each line is split into the fields its mode prints (records end "\r\n", fields
// "\t"; iOS 5 messages and calls carry "name-address", from which the address is what follows
// the first "-"). The answer key's fields go through the same conversion to the locale's charset
// as the engine's text, with "N/A" for an empty address or text, and a call's flags as its
// direction word. A line is correct when its fields equal those of a deleted row; it then finds
// that row (one not yet found, surviving ones first; a further line for an already found row is a
// duplicate, still correct). Contacts lines are matched by their value (iOS) or by any field that
// is not "N/A" (Android: a name row prints alone, a number or an address beside a name). A line
// equal to a live row and to no deleted row is a live copy; an empty record is empty; anything
// else is garbage. Lines that show a contact value are also judged for their name, the first
// field: right when it is the owner's name (or "N/A" when the owner cannot be known), no-name when
// "N/A" stands for a knowable owner, wrong otherwise (another person, or a value where the name
// belongs).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tools/dbfixtures/carvingdb.h"

namespace pixhaven::carvingquality {

using dbfixtures::CarvingFixture;
using dbfixtures::CarvingMode;
using dbfixtures::CarvingScenario;

// What the issue asks of a carver in every mode.
inline constexpr double kMinRecall = 0.95;
inline constexpr double kMinPrecision = 0.99;
inline constexpr double kMinNamedRight = 0.90;

struct Score {
    int deleted = 0;     // deleted rows a carver should report
    int surviving = 0;   // of them, rows whose bytes survive in free space
    int found = 0;       // surviving rows some line reports
    int foundGone = 0;   // rows reported although their bytes did not all survive
    int printed = 0;     // lines
    int correct = 0;     // lines that are a deleted row
    int duplicates = 0;  // correct lines for a row already found
    int liveCopies = 0;  // lines equal to a live row only
    int empty = 0;       // empty records
    int garbage = 0;     // other lines
    int named = 0;       // contacts: correct lines that show a contact value
    int namedRight = 0;
    int wrongName = 0;
    int noName = 0;

    Score& operator+=(const Score& other);
    double Recall() const;
    double Precision() const;
    double NamedRight() const;
};

bool IsContactsMode(CarvingMode mode);

// The engine's text for the fixture, run the way the product runs it. The Android carver writes
// its side file into `workFolder`, which becomes the current folder while it runs.
std::string Carve(const CarvingFixture& fixture, const std::filesystem::path& workFolder);

Score ScoreText(const CarvingFixture& fixture, const std::string& recoveredText);
// The rowids of the surviving deleted rows that the text reports, as ScoreText finds them.
std::vector<std::int64_t> FoundRowids(const CarvingFixture& fixture,
                                      const std::string& recoveredText);
// "mode/scenario", as FoundLine names a database.
std::string FixtureName(const CarvingFixture& fixture);
// "mode/scenario: rowid rowid …" and a newline: FoundRowids as one line of text.
std::string FoundLine(const CarvingFixture& fixture, const std::string& recoveredText);

// Rowids from 1, 200 and past 20,000 on 4 KiB pages, rowids from 200 on 1 KiB pages, and for iOS 6
// messages rowids from 200 in WAL mode; each with `rows` rows written.
std::vector<CarvingScenario> StandardScenarios(CarvingMode mode, int rows, std::uint32_t seed);

struct ScenarioResult {
    CarvingMode mode{};
    CarvingScenario scenario;
    Score score;
};

// Generates, carves and scores every mode and standard scenario in sub-folders of `folder`;
// `inspect`, when given, sees each fixture with the engine's text and its score.
using Inspect =
    std::function<void(const CarvingFixture&, const std::string& recoveredText, const Score&)>;
std::vector<ScenarioResult> MeasureAll(const std::filesystem::path& folder, int rows,
                                       std::uint32_t seed, const Inspect& inspect = {});

Score ModeTotal(const std::vector<ScenarioResult>& results, CarvingMode mode);

// Whether a mode's total meets the thresholds above.
bool MeetsThresholds(CarvingMode mode, const Score& total);

// The answer key as tab-separated text, one row a line: deleted/live, surviving, rowid, the
// printed fields, the owner and whether it can be known (for looking into a measurement).
std::string AnswerKeyText(const CarvingFixture& fixture);

// The table: one line per mode and scenario, then each mode's total. "gone" counts deleted rows a
// line reports although the survival rule holds their bytes lost (not part of recall).
std::string FormatTable(const std::vector<ScenarioResult>& results);

}  // namespace pixhaven::carvingquality
