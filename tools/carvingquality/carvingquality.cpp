#include "tools/carvingquality/carvingquality.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <optional>
#include <set>

#include "cellsalvage/iphonesqlitparse.h"
#include "cellsalvage/sqliteparse.h"
#include "platform/textcodec.h"

namespace pixhaven::carvingquality {
namespace {

namespace fs = std::filesystem;
using dbfixtures::TruthRow;

constexpr char kFieldJoin = '\x1f';
const std::string kNoValue = "N/A";

// Text as the engine writes it: the locale's charset.
std::string Printed(const std::string& utf8) {
    return platform::Utf16ToAnsi(platform::Utf8ToUtf16(utf8));
}

std::string PrintedOrNoValue(const std::string& utf8) {
    return utf8.empty() ? kNoValue : Printed(utf8);
}

std::string Direction(const std::string& flags) {
    return flags == "4" ? "Incoming" : flags == "5" ? "Outgoing" : kNoValue;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start) + "\r");  // an unfinished record is no record
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The key a row of the answer key prints as.
std::string RowKey(CarvingMode mode, const TruthRow& row) {
    switch (mode) {
        case CarvingMode::Ios5MessagesFresh:
        case CarvingMode::Ios5MessagesUpgraded:
        case CarvingMode::AndroidMessages:
            return PrintedOrNoValue(row.fields[0]) + kFieldJoin + PrintedOrNoValue(row.fields[1]);
        case CarvingMode::IosCalls:
            return Printed(row.fields[0]) + kFieldJoin + Direction(row.fields[1]);
        default:
            return Printed(row.fields[0]);
    }
}

// The key a printed line stands for, and for iOS contacts the name it shows; nothing when the
// line has not the mode's shape.
struct LineKey {
    std::string key;
    std::string name;
};

std::optional<LineKey> ParseLine(CarvingMode mode, const std::string& line) {
    const std::size_t tab = line.find('\t');
    switch (mode) {
        case CarvingMode::IosContacts:
            if (tab == std::string::npos) {
                return std::nullopt;
            }
            return LineKey{line.substr(tab + 1), line.substr(0, tab)};
        case CarvingMode::Ios5MessagesFresh:
        case CarvingMode::Ios5MessagesUpgraded: {
            const std::size_t dash = line.find('-');
            if (tab == std::string::npos || dash == std::string::npos || dash > tab) {
                return std::nullopt;
            }
            // A line naming the sender prints an empty text as it is, not as "N/A".
            const std::string text = line.substr(tab + 1);
            return LineKey{line.substr(dash + 1, tab - dash - 1) + kFieldJoin +
                               (text.empty() ? kNoValue : text),
                           line.substr(0, dash)};
        }
        case CarvingMode::IosCalls: {
            // Every owner of the number adds "name-address\t"; the direction word comes last.
            const std::size_t last = line.rfind('\t');
            const std::size_t dash = line.find('-');
            if (last == std::string::npos || dash == std::string::npos || dash > tab) {
                return std::nullopt;
            }
            return LineKey{
                line.substr(dash + 1, tab - dash - 1) + kFieldJoin + line.substr(last + 1),
                line.substr(0, dash)};
        }
        case CarvingMode::AndroidMessages: {
            const std::size_t second = tab == std::string::npos ? tab : line.find('\t', tab + 1);
            if (second == std::string::npos || line.find('\t', second + 1) != std::string::npos) {
                return std::nullopt;
            }
            return LineKey{
                line.substr(tab + 1, second - tab - 1) + kFieldJoin + line.substr(second + 1),
                line.substr(0, tab)};
        }
        default:
            return LineKey{line, {}};
    }
}

// The deleted rows by the key they print as, and which of them a line has found.
class AnswerKey {
public:
    AnswerKey(const CarvingFixture& fixture) : fixture_(fixture), found_(fixture.deleted.size()) {
        for (std::size_t i = 0; i < fixture.deleted.size(); ++i) {
            deleted_[RowKey(fixture.mode, fixture.deleted[i])].push_back(i);
        }
        for (const TruthRow& row : fixture.live) {
            live_.insert(RowKey(fixture.mode, row));
        }
    }

    const std::vector<std::size_t>* Deleted(const std::string& key) const {
        const auto it = deleted_.find(key);
        return it == deleted_.end() ? nullptr : &it->second;
    }
    bool IsLive(const std::string& key) const { return live_.contains(key); }
    const TruthRow& Row(std::size_t index) const { return fixture_.deleted[index]; }

    // Marks one of `candidates` found, surviving ones first; false when all were found already.
    bool Find(const std::vector<std::size_t>& candidates) {
        for (const bool wantSurviving : {true, false}) {
            for (const std::size_t i : candidates) {
                if (!found_[i] && Row(i).surviving == wantSurviving) {
                    found_[i] = true;
                    return true;
                }
            }
        }
        return false;
    }

    // The rowids of the surviving rows some line has found.
    std::vector<std::int64_t> FoundSurviving() const {
        std::vector<std::int64_t> rowids;
        for (std::size_t i = 0; i < found_.size(); ++i) {
            if (found_[i] && Row(i).surviving) {
                rowids.push_back(Row(i).rowid);
            }
        }
        return rowids;
    }

    void Count(Score& score) const {
        for (std::size_t i = 0; i < found_.size(); ++i) {
            ++score.deleted;
            score.surviving += Row(i).surviving ? 1 : 0;
            if (found_[i]) {
                ++(Row(i).surviving ? score.found : score.foundGone);
            }
        }
    }

private:
    const CarvingFixture& fixture_;
    std::map<std::string, std::vector<std::size_t>> deleted_;
    std::set<std::string> live_;
    std::vector<bool> found_;
};

// How the name a line shows compares with the owners of the rows it may stand for.
void JudgeName(const std::string& name, const std::vector<const TruthRow*>& owners, Score& score) {
    ++score.named;
    bool knowable = false;
    for (const TruthRow* row : owners) {
        if (name == Printed(row->owner) || (name == kNoValue && !row->ownerKnown)) {
            ++score.namedRight;
            return;
        }
        knowable = knowable || row->ownerKnown;
    }
    ++(name == kNoValue && knowable ? score.noName : score.wrongName);
}

void ScoreLine(CarvingMode mode, const std::string& line, AnswerKey& key, Score& score) {
    const std::optional<LineKey> parsed = ParseLine(mode, line);
    if (!parsed) {
        ++score.garbage;
        return;
    }
    const std::vector<std::size_t>* rows = key.Deleted(parsed->key);
    if (rows == nullptr) {
        ++(key.IsLive(parsed->key) ? score.liveCopies : score.garbage);
        return;
    }
    ++score.correct;
    score.duplicates += key.Find(*rows) ? 0 : 1;
    if (mode == CarvingMode::IosContacts) {
        std::vector<const TruthRow*> owners;
        for (const std::size_t i : *rows) {
            owners.push_back(&key.Row(i));
        }
        JudgeName(parsed->name, owners, score);
    }
}

// Android contacts: a line is a deleted row when one of its fields is the data1 of one. A line
// showing a number or an address is judged for its name, the first field.
void ScoreAndroidContactLine(const std::string& line, AnswerKey& key, Score& score) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos || line.find('\t', tab + 1) != std::string::npos) {
        ++score.garbage;
        return;
    }
    const std::array<std::string, 2> parts = {line.substr(0, tab), line.substr(tab + 1)};
    std::array<const std::vector<std::size_t>*, 2> rows = {nullptr, nullptr};
    bool anyDeleted = false;
    bool live = false;
    for (std::size_t p = 0; p < parts.size(); ++p) {
        if (parts[p] != kNoValue) {
            rows[p] = key.Deleted(parts[p]);
            anyDeleted = anyDeleted || rows[p] != nullptr;
            live = live || key.IsLive(parts[p]);
        }
    }
    if (!anyDeleted) {
        ++(live ? score.liveCopies : score.garbage);
        return;
    }
    ++score.correct;
    bool fresh = false;
    for (const auto* candidates : rows) {
        fresh = (candidates != nullptr && key.Find(*candidates)) || fresh;
    }
    score.duplicates += fresh ? 0 : 1;
    // The first field is the name: a value printed there is no name at all.
    for (const std::size_t p : {std::size_t{1}, std::size_t{0}}) {
        if (rows[p] == nullptr) {
            continue;
        }
        std::vector<const TruthRow*> owners;
        for (const std::size_t i : *rows[p]) {
            if (key.Row(i).role == TruthRow::Role::Value) {
                owners.push_back(&key.Row(i));
            }
        }
        if (!owners.empty()) {
            JudgeName(parts[0], owners, score);
            return;
        }
    }
}

// Makes a folder the current one for one scope.
class CurrentFolder {
public:
    explicit CurrentFolder(const fs::path& folder) : previous_(fs::current_path()) {
        fs::current_path(folder);
    }
    ~CurrentFolder() {
        std::error_code ignored;
        fs::current_path(previous_, ignored);
    }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

private:
    fs::path previous_;
};

double Share(int part, int whole) {
    return whole == 0 ? 1.0 : static_cast<double>(part) / whole;
}

std::string Percent(double share) {
    char text[16];
    std::snprintf(text, sizeof text, "%5.1f%%", 100.0 * share);
    return text;
}

}  // namespace

Score& Score::operator+=(const Score& other) {
    deleted += other.deleted;
    surviving += other.surviving;
    found += other.found;
    foundGone += other.foundGone;
    printed += other.printed;
    correct += other.correct;
    duplicates += other.duplicates;
    liveCopies += other.liveCopies;
    empty += other.empty;
    garbage += other.garbage;
    named += other.named;
    namedRight += other.namedRight;
    wrongName += other.wrongName;
    noName += other.noName;
    return *this;
}

double Score::Recall() const {
    return Share(found, surviving);
}

double Score::Precision() const {
    return Share(correct, printed);
}

double Score::NamedRight() const {
    return Share(namedRight, named);
}

bool IsContactsMode(CarvingMode mode) {
    return mode == CarvingMode::IosContacts || mode == CarvingMode::AndroidContacts;
}

std::string Carve(const CarvingFixture& fixture, const fs::path& workFolder) {
    const std::u16string first = platform::PathToUtf16(fixture.firstPath);
    const std::u16string second = platform::PathToUtf16(fixture.secondPath);
    const auto ios = [&](ePaserType type, eOSType os) {
        IphoneSqlitParse parser(first, second);
        parser.startParse(type, os);
        return parser.recoveredText;
    };
    const auto android = [&](ePaserType type) {
        fs::create_directories(workFolder);
        const CurrentFolder inWork(workFolder);
        SqliteParse parser(first, second);
        parser.startParse(type, OS_NONE);
        return parser.recoveredText;
    };
    // The modes the device-database reader library uses.
    switch (fixture.mode) {
        case CarvingMode::IosContacts:
            return ios(PARSE_CONTACTS, OS_IOS5);
        case CarvingMode::Ios5MessagesFresh:
        case CarvingMode::Ios5MessagesUpgraded:
            return ios(PARSE_MESSAGES, OS_IOS5);
        case CarvingMode::Ios6Messages:
            return ios(PARSE_MESSAGES, OS_IOS6);
        case CarvingMode::IosCalls:
            return ios(PARSE_CALL_HISTORY, OS_IOS5);
        case CarvingMode::AndroidContacts:
            return android(PARSE_CONTACTS);
        case CarvingMode::AndroidMessages:
            break;
    }
    return android(PARSE_MESSAGES);
}

namespace {

Score ScoreLines(const CarvingFixture& fixture, const std::string& recoveredText, AnswerKey& key) {
    Score score;
    for (const std::string& line : SplitLines(recoveredText)) {
        ++score.printed;
        if (line.empty()) {
            ++score.empty;
        } else if (fixture.mode == CarvingMode::AndroidContacts) {
            ScoreAndroidContactLine(line, key, score);
        } else {
            ScoreLine(fixture.mode, line, key, score);
        }
    }
    key.Count(score);
    return score;
}

}  // namespace

Score ScoreText(const CarvingFixture& fixture, const std::string& recoveredText) {
    AnswerKey key(fixture);
    return ScoreLines(fixture, recoveredText, key);
}

std::vector<std::int64_t> FoundRowids(const CarvingFixture& fixture,
                                      const std::string& recoveredText) {
    AnswerKey key(fixture);
    ScoreLines(fixture, recoveredText, key);
    return key.FoundSurviving();
}

std::string FixtureName(const CarvingFixture& fixture) {
    return std::string(dbfixtures::ModeName(fixture.mode)) + "/" +
           dbfixtures::ScenarioName(fixture.scenario);
}

std::string FoundLine(const CarvingFixture& fixture, const std::string& recoveredText) {
    std::string line = FixtureName(fixture) + ":";
    for (const std::int64_t rowid : FoundRowids(fixture, recoveredText)) {
        line += " " + std::to_string(rowid);
    }
    return line + "\n";
}

std::vector<CarvingScenario> StandardScenarios(CarvingMode mode, int rows, std::uint32_t seed) {
    std::vector<CarvingScenario> scenarios = {
        {1, 4096, false, rows, seed},
        {200, 4096, false, rows, seed},
        {20'001, 4096, false, rows, seed},
        {200, 1024, false, rows, seed},
    };
    if (mode == CarvingMode::Ios6Messages) {
        scenarios.push_back({200, 4096, true, rows, seed});
    }
    return scenarios;
}

std::vector<ScenarioResult> MeasureAll(const fs::path& folder, int rows, std::uint32_t seed,
                                       const Inspect& inspect) {
    std::vector<ScenarioResult> results;
    for (const CarvingMode mode : dbfixtures::kCarvingModes) {
        int index = 0;
        for (const CarvingScenario& scenario : StandardScenarios(mode, rows, seed)) {
            const fs::path place =
                folder / std::string(dbfixtures::ModeName(mode)) / std::to_string(index++);
            const CarvingFixture fixture =
                dbfixtures::GenerateCarvingFixture(place, mode, scenario);
            const std::string text = Carve(fixture, place / "work");
            results.push_back({mode, scenario, ScoreText(fixture, text)});
            if (inspect) {
                inspect(fixture, text, results.back().score);
            }
        }
    }
    return results;
}

std::string AnswerKeyText(const CarvingFixture& fixture) {
    std::string text;
    for (const auto* rows : {&fixture.deleted, &fixture.live}) {
        for (const TruthRow& row : *rows) {
            text += rows == &fixture.deleted ? "deleted\t" : "live\t";
            text += row.surviving ? "surviving\t" : "-\t";
            text += std::to_string(row.rowid);
            for (const std::string& field : row.fields) {
                text += "\t" + field;
            }
            if (IsContactsMode(fixture.mode)) {
                text += "\towner=" + row.owner + (row.ownerKnown ? " (known)" : " (unknown)");
            }
            text += "\n";
        }
    }
    return text;
}

Score ModeTotal(const std::vector<ScenarioResult>& results, CarvingMode mode) {
    Score total;
    for (const ScenarioResult& result : results) {
        if (result.mode == mode) {
            total += result.score;
        }
    }
    return total;
}

bool MeetsThresholds(CarvingMode mode, const Score& total) {
    return total.Recall() >= kMinRecall && total.Precision() >= kMinPrecision &&
           (!IsContactsMode(mode) || total.NamedRight() >= kMinNamedRight);
}

std::string FormatTable(const std::vector<ScenarioResult>& results) {
    std::string table;
    char line[256];
    const auto row = [&](std::string_view mode, const std::string& scenario, const Score& s,
                         bool contacts) {
        const std::string named = contacts ? Percent(s.NamedRight()) + " (" +
                                                 std::to_string(s.wrongName) + " wrong, " +
                                                 std::to_string(s.noName) + " N/A)"
                                           : std::string("-");
        std::snprintf(line, sizeof line,
                      "%-18.*s %-24s %7d %7d %7d %7s %5d %7d %7d %7s %6d %6d %6d %6d   %s\n",
                      static_cast<int>(mode.size()), mode.data(), scenario.c_str(), s.deleted,
                      s.surviving, s.found, Percent(s.Recall()).c_str(), s.foundGone, s.printed,
                      s.correct, Percent(s.Precision()).c_str(), s.liveCopies, s.garbage, s.empty,
                      s.duplicates, named.c_str());
        table += line;
    };
    std::snprintf(line, sizeof line,
                  "%-18s %-24s %7s %7s %7s %7s %5s %7s %7s %7s %6s %6s %6s %6s   %s\n", "mode",
                  "scenario", "deleted", "surviv.", "found", "recall", "gone", "printed", "correct",
                  "precis.", "live", "garb.", "empty", "dup", "named right");
    table += line;
    for (const ScenarioResult& result : results) {
        row(dbfixtures::ModeName(result.mode), dbfixtures::ScenarioName(result.scenario),
            result.score, IsContactsMode(result.mode));
    }
    table += "\n";
    for (const CarvingMode mode : dbfixtures::kCarvingModes) {
        const Score total = ModeTotal(results, mode);
        row(dbfixtures::ModeName(mode),
            MeetsThresholds(mode, total) ? "total: meets" : "total: below", total,
            IsContactsMode(mode));
    }
    return table;
}

}  // namespace pixhaven::carvingquality
