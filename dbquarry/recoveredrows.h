// The recovered text of the carving engine as rows: one line per recovered row, ending "\r\n",
// fields split at the first tab.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace dbquarry::recovered {

// How a line becomes a row: message and contact lines need a tab between their two fields,
// iOS 6 message lines are taken whole.
enum class LineRule { NeedsTab, WholeLine };

// One recovered row: `first` is the text before the line's first tab (the whole line for
// WholeLine), `second` everything after it; ids count from 20000 per text.
struct Row {
    std::int32_t id = 0;
    std::string_view first;
    std::string_view second;
};

constexpr std::int32_t kFirstId = 20000;

// The rows of the engine's text: a line ends at "\r\n" and text after the last one is not a line;
// a line the rule rejects is skipped without using an id.
inline std::vector<Row> SplitRows(std::string_view text, LineRule rule) {
    constexpr std::string_view kLineEnd = "\r\n";
    std::vector<Row> rows;
    std::int32_t id = kFirstId;
    std::size_t start = 0;
    for (std::size_t end = text.find(kLineEnd); end != std::string_view::npos;
         end = text.find(kLineEnd, start)) {
        const std::string_view line = text.substr(start, end - start);
        start = end + kLineEnd.size();
        if (rule == LineRule::WholeLine) {
            rows.push_back({id++, line, {}});
            continue;
        }
        const std::size_t tab = line.find('\t');
        if (tab != std::string_view::npos) {
            rows.push_back({id++, line.substr(0, tab), line.substr(tab + 1)});
        }
    }
    return rows;
}

// A recovered call is outgoing only when its direction field is exactly this word.
inline bool IsOutgoing(std::string_view direction) {
    return direction == "Outgoing";
}

}  // namespace dbquarry::recovered
