// The rows each carving mode's database holds over its life: what they say, when they are
// written and when deleted. Used by carvingdb.cpp only.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tools/dbfixtures/carvingdb.h"
#include "tools/dbfixtures/dbfixtures.h"
#include "tools/dbfixtures/randomvalues.h"

namespace pixhaven::dbfixtures::carving {

// Rows are written and deleted in rounds, so that later rows reuse (and overwrite) the space of
// rows deleted earlier, as on a phone in use for years.
constexpr int kRounds = 3;

struct PlannedRow {
    std::string table;
    std::string insertSql;      // ?1 is the rowid
    std::vector<Value> values;  // bound as ?1, ?2 …
    int round = 0;              // written in this round
    int deletedIn = -1;         // deleted at the end of this round; -1 while live
    bool inRun = false;         // deleted with its neighbours (a conversation, a day of calls)
    bool reported = true;       // a row a carver prints; persons only name the values
    int ownerRow = -1;          // contacts: the planned row that names this one
    TruthRow truth;
};

// Every row of the carved tables of `mode`, in the order they are written.
std::vector<PlannedRow> PlanRows(CarvingMode mode, const CarvingScenario& scenario, Random& random);
// Rows of other tables the carved database holds on a device.
void WriteCompanions(CarvingMode mode, Database& db);

// The live databases that name the people of the message and call databases: an AddressBook for
// iOS, a contacts2.db for Android.
void WriteNamesAddressBook(const std::filesystem::path& path, Random& random);
void WriteNamesContacts(const std::filesystem::path& path, Random& random);

}  // namespace pixhaven::dbfixtures::carving
