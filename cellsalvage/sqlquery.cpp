#include "cellsalvage/sqlquery.h"

#include <filesystem>
#include <system_error>

#include "platform/sqlitefile.h"
#include "platform/textcodec.h"

namespace cellsalvage {
namespace {

struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

Statement Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (db == nullptr || sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    return Statement(statement);
}

}  // namespace

bool FileExists(const std::u16string& path) {
    std::error_code error;
    return !path.empty() &&
           std::filesystem::is_regular_file(pixhaven::platform::PathFromUtf16(path), error);
}

Connection OpenReadOnly(const std::u16string& path) {
    return pixhaven::platform::OpenSqliteReadOnly(pixhaven::platform::PathFromUtf16(path));
}

bool ForEachRow(sqlite3* db, const char* sql, const std::function<void(sqlite3_stmt*)>& onRow) {
    const Statement statement = Prepare(db, sql);
    if (!statement) {
        return false;
    }
    while (sqlite3_step(statement.get()) == SQLITE_ROW) {
        onRow(statement.get());
    }
    return true;
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
    const auto* text = sqlite3_column_text(statement, column);
    if (text == nullptr) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(text),
                       static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

bool ReadRootPage(sqlite3* db, const char* sql, int& rootPage) {
    return ForEachRow(db, sql, [&](sqlite3_stmt* statement) {
        for (int column = 0; column < sqlite3_data_count(statement); ++column) {
            rootPage = static_cast<int>(
                static_cast<std::uint32_t>(sqlite3_column_int64(statement, column)));
        }
    });
}

TableLayout ReadTableLayout(sqlite3* db, const char* sql, const std::vector<std::string>& names) {
    TableLayout layout;
    layout.indices.assign(names.size(), 0);
    const Statement statement = Prepare(db, sql);
    if (!statement) {
        return layout;
    }
    // The layout is known once the first step answers, also for an empty table.
    const int step = sqlite3_step(statement.get());
    if (step != SQLITE_ROW && step != SQLITE_DONE) {
        return layout;
    }
    layout.columnCount = sqlite3_column_count(statement.get());
    for (int column = 0; column < layout.columnCount; ++column) {
        const char* name = sqlite3_column_name(statement.get(), column);
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (name != nullptr && names[i] == name) {
                layout.indices[i] = column;
            }
        }
    }
    return layout;
}

}  // namespace cellsalvage
