#include "dbquarry/reader.h"

#include <stdexcept>

#include "platform/textcodec.h"

namespace dbquarry {

cellsalvage::Connection OpenDatabase(const char16_t* path) {
    if (path == nullptr) {
        return nullptr;
    }
    const std::u16string file(path);
    if (!cellsalvage::FileExists(file)) {
        return nullptr;
    }
    return cellsalvage::OpenReadOnly(file);
}

Statement::Statement(sqlite3* db, const char* sql) {
    if (db == nullptr || sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement_);
        statement_ = nullptr;
    }
}

Statement::~Statement() {
    sqlite3_finalize(statement_);
}

bool Statement::Step() {
    return statement_ != nullptr && sqlite3_step(statement_) == SQLITE_ROW;
}

bool Statement::IsNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::int32_t Statement::Int(int column) const {
    return sqlite3_column_int(statement_, column);
}

std::int64_t Statement::Int64(int column) const {
    return sqlite3_column_int64(statement_, column);
}

double Statement::Double(int column) const {
    return sqlite3_column_double(statement_, column);
}

char16_t* Statement::Text(int column) const {
    const unsigned char* text = sqlite3_column_text(statement_, column);
    if (text == nullptr) {
        return nullptr;
    }
    if (arena_ == nullptr) {
        throw std::logic_error("a row's texts need the arena of its list");
    }
    return Utf8ToWide(*arena_, text,
                      static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
}

std::string_view Statement::Utf8(int column) const {
    const unsigned char* text = sqlite3_column_text(statement_, column);
    if (text == nullptr) {
        return {};
    }
    return {reinterpret_cast<const char*>(text),
            static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))};
}

std::u16string Statement::Utf16(int column) const {
    const void* text = sqlite3_column_text16(statement_, column);
    if (text == nullptr) {
        return {};
    }
    return {static_cast<const char16_t*>(text),
            static_cast<std::size_t>(sqlite3_column_bytes16(statement_, column)) / 2};
}

std::string_view Statement::Bytes(int column) const {
    const void* bytes = sqlite3_column_blob(statement_, column);
    if (bytes == nullptr) {
        return {};
    }
    return {static_cast<const char*>(bytes),
            static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))};
}

bool ReadCount(sqlite3* db, const char* sql, std::int32_t* count) {
    Statement statement(db, sql);
    if (!statement.Prepared()) {
        return false;
    }
    if (statement.Step()) {
        *count = statement.Int(0);
    }
    return true;
}

}  // namespace dbquarry
