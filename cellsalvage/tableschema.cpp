#include "cellsalvage/tableschema.h"

#include <algorithm>
#include <cctype>

#include "cellsalvage/sqlquery.h"

namespace cellsalvage {
namespace {

std::string Upper(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

bool Contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

int TableSchema::IndexOf(std::string_view name) const {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].name == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::size_t TableSchema::LeadingAliases() const {
    std::size_t count = 0;
    while (count < columns.size() && columns[count].use == ColumnUse::RowidAlias) {
        ++count;
    }
    return count;
}

ColumnUse UseOfDeclared(std::string_view name, std::string_view declaredType, bool aliasKey) {
    const std::string type = Upper(declaredType);
    if (aliasKey && type == "INTEGER") {
        return ColumnUse::RowidAlias;
    }
    if (Contains(type, "INT")) {
        return Contains(Upper(name), "DATE") ? ColumnUse::Date : ColumnUse::Integer;
    }
    if (Contains(type, "CHAR") || Contains(type, "CLOB") || Contains(type, "TEXT")) {
        return ColumnUse::Text;
    }
    if (Contains(type, "REAL") || Contains(type, "FLOA") || Contains(type, "DOUB")) {
        return ColumnUse::Real;
    }
    return ColumnUse::Any;
}

TableSchema ParseLayout(const std::string& table, std::string_view columns, bool firstIsAlias) {
    TableSchema schema{table, {}};
    while (!columns.empty()) {
        const std::size_t comma = std::min(columns.find(','), columns.size());
        const std::string_view column = Trimmed(columns.substr(0, comma));
        columns.remove_prefix(std::min(comma + 1, columns.size()));
        const std::size_t blank = std::min(column.find(' '), column.size());
        const std::string_view name = column.substr(0, blank);
        const std::string_view type = Trimmed(column.substr(blank));
        if (!name.empty()) {
            schema.columns.push_back(
                {std::string(name),
                 UseOfDeclared(name, type, firstIsAlias && schema.columns.empty())});
        }
    }
    return schema;
}

TableSchema ReadTableSchema(sqlite3* db, const std::string& table, std::string_view fallback) {
    struct Declared {
        std::string name;
        std::string type;
        int key = 0;
    };
    std::vector<Declared> declared;
    std::string sql = "PRAGMA table_info(\"";
    for (const char c : table) {
        sql += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    sql += "\")";
    ForEachRow(db, sql.c_str(), [&](sqlite3_stmt* row) {
        declared.push_back({ColumnText(row, 1), ColumnText(row, 2), sqlite3_column_int(row, 5)});
    });
    if (declared.empty()) {
        return ParseLayout(table, fallback, true);
    }
    // Only a lone INTEGER PRIMARY KEY column aliases the rowid.
    const auto keys = std::count_if(declared.begin(), declared.end(),
                                    [](const Declared& column) { return column.key > 0; });
    TableSchema schema{table, {}};
    for (const Declared& column : declared) {
        schema.columns.push_back(
            {column.name, UseOfDeclared(column.name, column.type, keys == 1 && column.key == 1)});
    }
    return schema;
}

}  // namespace cellsalvage
