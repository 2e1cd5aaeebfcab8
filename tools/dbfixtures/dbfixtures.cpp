#include "tools/dbfixtures/dbfixtures.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace pixhaven::dbfixtures {
namespace {

std::string ReadText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + file.string());
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Finalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

void Bind(sqlite3_stmt* statement, int index, const Value& value) {
    if (const auto* integer = std::get_if<std::int64_t>(&value)) {
        sqlite3_bind_int64(statement, index, *integer);
    } else if (const auto* real = std::get_if<double>(&value)) {
        sqlite3_bind_double(statement, index, *real);
    } else if (const auto* text = std::get_if<std::string>(&value)) {
        sqlite3_bind_text(statement, index, text->data(), static_cast<int>(text->size()),
                          SQLITE_TRANSIENT);
    } else if (const auto* blob = std::get_if<Blob>(&value)) {
        sqlite3_bind_blob(statement, index, blob->bytes.data(),
                          static_cast<int>(blob->bytes.size()), SQLITE_TRANSIENT);
    } else {
        sqlite3_bind_null(statement, index);
    }
}

}  // namespace

std::filesystem::path SchemaDir() {
    return std::filesystem::path(PIXHAVEN_FIXTURES_DIR) / "schemas";
}

std::filesystem::path ForensicCorpusDir() {
    return std::filesystem::path(PIXHAVEN_FIXTURES_DIR) / "sqlite-forensic-corpus";
}

std::vector<std::filesystem::path> ForensicCorpusFiles() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(ForensicCorpusDir())) {
        if (entry.path().extension() == ".db") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

Database::Database(const std::filesystem::path& path) {
    sqlite3* db = nullptr;
    const int result =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    db_.reset(db);
    if (result != SQLITE_OK) {
        throw std::runtime_error("cannot open " + path.string());
    }
    // Some distributions build SQLite with secure_delete on by default; deleted rows must stay.
    Exec("PRAGMA secure_delete = OFF;");
}

void Database::Exec(std::string_view sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_.get(), std::string(sql).c_str(), nullptr, nullptr, &message) !=
        SQLITE_OK) {
        const std::string error = message != nullptr ? message : "unknown error";
        sqlite3_free(message);
        throw std::runtime_error(error + " in: " + std::string(sql.substr(0, 200)));
    }
}

void Database::Run(std::string_view sql, const std::vector<Value>& values) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql.data(), static_cast<int>(sql.size()), &raw, nullptr) !=
        SQLITE_OK) {
        throw std::runtime_error(std::string(sqlite3_errmsg(db_.get())) +
                                 " in: " + std::string(sql));
    }
    const std::unique_ptr<sqlite3_stmt, Finalizer> statement(raw);
    for (std::size_t i = 0; i < values.size(); ++i) {
        Bind(raw, static_cast<int>(i + 1), values[i]);
    }
    const int result = sqlite3_step(raw);
    if (result != SQLITE_DONE && result != SQLITE_ROW) {
        throw std::runtime_error(std::string(sqlite3_errmsg(db_.get())) +
                                 " in: " + std::string(sql));
    }
}

std::string Database::QueryText(std::string_view sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql.data(), static_cast<int>(sql.size()), &raw, nullptr) !=
        SQLITE_OK) {
        throw std::runtime_error(std::string(sqlite3_errmsg(db_.get())));
    }
    const std::unique_ptr<sqlite3_stmt, Finalizer> statement(raw);
    if (sqlite3_step(raw) != SQLITE_ROW || sqlite3_column_text(raw, 0) == nullptr) {
        return {};
    }
    return reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
}

std::int64_t Database::LastInsertRowid() const {
    return sqlite3_last_insert_rowid(db_.get());
}

Database CreateFromSchema(const std::filesystem::path& path, std::string_view schemaFile,
                          int pageSize) {
    std::filesystem::remove(path);
    Database db(path);
    db.Exec("PRAGMA page_size = " + std::to_string(pageSize) +
            "; PRAGMA auto_vacuum = NONE; PRAGMA secure_delete = OFF; PRAGMA synchronous = OFF; "
            "PRAGMA journal_mode = DELETE;");
    db.Exec(ReadText(SchemaDir() / schemaFile));
    return db;
}

}  // namespace pixhaven::dbfixtures
