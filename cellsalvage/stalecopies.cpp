#include "cellsalvage/stalecopies.h"

#include <cstdint>
#include <string_view>
#include <unordered_map>

#include "cellsalvage/sqlquery.h"

namespace cellsalvage {
namespace {

// The text values of a row joined with their lengths, so ("ab","c") and ("a","bc") differ.
std::string TextKey(const std::vector<ValueKind>& kinds, const std::vector<std::string>& values) {
    std::string key;
    for (std::size_t i = 0; i < kinds.size() && i < values.size(); ++i) {
        if (kinds[i] == ValueKind::Text) {
            key += std::to_string(values[i].size());
            key += ':';
            key += values[i];
        }
    }
    return key;
}

bool IntegerMatches(std::string_view carved, sqlite3_stmt* statement, int column) {
    if (carved.empty()) {
        return true;
    }
    if (sqlite3_column_type(statement, column) != SQLITE_INTEGER) {
        return carved == ColumnText(statement, column);
    }
    if (carved.size() > 8) {
        return false;
    }
    // Sign-extend the big-endian content bytes.
    std::int64_t value = static_cast<signed char>(carved[0]);
    for (std::size_t i = 1; i < carved.size(); ++i) {
        value = static_cast<std::int64_t>(static_cast<std::uint64_t>(value) << 8) |
                static_cast<unsigned char>(carved[i]);
    }
    return value == sqlite3_column_int64(statement, column);
}

bool IntegersMatch(const std::vector<ValueKind>& kinds, const std::vector<std::string>& values,
                   sqlite3_stmt* statement) {
    for (std::size_t i = 0; i < kinds.size() && i < values.size(); ++i) {
        if (kinds[i] == ValueKind::Integer &&
            !IntegerMatches(values[i], statement, static_cast<int>(i))) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::vector<bool> FindStaleCopies(sqlite3* db, const char* sql, const std::vector<ValueKind>& kinds,
                                  const std::vector<std::vector<std::string>>& candidates) {
    std::vector<bool> stale(candidates.size(), false);
    // bench_cellsalvage: the live rows are streamed once against a map of the carved ones.
    std::unordered_multimap<std::string, std::size_t> byText;
    byText.reserve(candidates.size());
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        byText.emplace(TextKey(kinds, candidates[i]), i);
    }
    ForEachRow(db, sql, [&](sqlite3_stmt* statement) {
        std::vector<std::string> texts(kinds.size());
        for (std::size_t i = 0; i < kinds.size(); ++i) {
            if (kinds[i] == ValueKind::Text) {
                texts[i] = ColumnText(statement, static_cast<int>(i));
            }
        }
        // A matched candidate leaves the map, so common texts ("Ok") are not walked again for
        // every further live row that holds them.
        auto [it, last] = byText.equal_range(TextKey(kinds, texts));
        while (it != last) {
            if (IntegersMatch(kinds, candidates[it->second], statement)) {
                stale[it->second] = true;
                it = byText.erase(it);
            } else {
                ++it;
            }
        }
    });
    return stale;
}

}  // namespace cellsalvage
