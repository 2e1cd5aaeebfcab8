// Manifest.db reading: rows into records, facts from the archived `file` column, and damaged,
// partial or odd databases.
#include "backup/manifestdb.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cctype>

#include "tests/support/tempdir.h"
#include "tools/samplegen/manifestdb_writer.h"
#include "tools/samplegen/mbfile_writer.h"

namespace pixhaven::backup {
namespace {

using samplegen::ManifestDbRow;

constexpr int kFile = 1;
constexpr int kFolder = 2;
constexpr int kLink = 4;

ManifestDbRow Row(const std::string& domain, const std::string& path, int flags,
                  std::uint64_t size = 0, std::uint32_t modified = 0) {
    samplegen::MbFileFields fields{};
    fields.size = size;
    fields.modified = modified;
    fields.accessed = modified == 0 ? 0 : modified + 60;
    fields.created = modified == 0 ? 0 : modified - 60;
    fields.mode = static_cast<std::uint16_t>(flags == kFolder ? 040755 : 0100644);
    fields.relativePath = path;
    return {MakeStoredName(domain, path), domain, path, flags,
            samplegen::EncodeMbFile(fields, /*shuffle=*/true)};
}

// Runs SQL on a database written by the writer, as a damaged or odd device file would be.
void Alter(const std::filesystem::path& file, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.string().c_str(), &db), SQLITE_OK);
    const int result = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    sqlite3_close(db);
    ASSERT_EQ(result, SQLITE_OK) << sql;
}

class ManifestDb : public testing::Test {
protected:
    std::filesystem::path Write(const std::vector<ManifestDbRow>& rows) {
        samplegen::WriteManifestDb(file, rows);
        return file;
    }

    test::TempDir dir;
    std::filesystem::path file = dir / "Manifest.db";
};

TEST_F(ManifestDb, FilesFoldersAndLinksBecomeRecordsWithTheirFacts) {
    const std::uint64_t bigSize = (std::uint64_t{1} << 32) + 5;
    Write({Row("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.HEIC", kFile, bigSize,
               1'500'000'000),
           Row("CameraRollDomain", "Media/DCIM/100APPLE", kFolder),
           Row("HomeDomain", "Library/Link", kLink)});
    const auto manifest = ReadManifestDb(file);
    ASSERT_TRUE(manifest);
    ASSERT_EQ(manifest->size(), 3u);
    EXPECT_TRUE(manifest->IsModern());

    const ManifestRecord& photo = (*manifest)[0];
    const std::string name =
        MakeStoredName("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.HEIC");
    EXPECT_EQ(photo.StoredName(), name);
    EXPECT_EQ(photo.Layout(), StoredLayout::ByPrefix);
    EXPECT_EQ(photo.StoredFile(dir.path()), dir / name.substr(0, 2) / name);
    EXPECT_EQ(photo.Domain(), "CameraRollDomain");
    EXPECT_EQ(photo.Path(), "Media/DCIM/100APPLE/IMG_0001.HEIC");
    EXPECT_FALSE(photo.LinkTarget());
    EXPECT_FALSE(photo.DataHash());
    EXPECT_FALSE(photo.EncryptionKey());
    EXPECT_TRUE(photo.HasContent());
    EXPECT_EQ(photo.size, 5u);  // low 32 bits, as an old record keeps it
    EXPECT_EQ(photo.mode, 0100644);
    EXPECT_EQ(photo.modified, 1'500'000'000u);
    EXPECT_EQ(photo.ModifiedText(), FormatRecordTime(1'500'000'000));
    EXPECT_EQ(photo.AccessedText(), FormatRecordTime(1'500'000'060));
    EXPECT_EQ(photo.CreatedText(), FormatRecordTime(1'499'999'940));

    EXPECT_FALSE((*manifest)[1].HasContent());
    EXPECT_EQ((*manifest)[1].mode, 040755);
    EXPECT_TRUE((*manifest)[1].ModifiedText().empty());
    EXPECT_FALSE((*manifest)[2].HasContent());
}

// Large tables are read in two halves on two threads; the records still come in table order.
TEST_F(ManifestDb, RecordsKeepTheTablesOrderSmallAndLarge) {
    for (const int count : {5, 45'000}) {
        std::vector<ManifestDbRow> rows;
        for (int i = 0; i < count; ++i) {
            rows.push_back(Row("MediaDomain", "Media/f" + std::to_string(count - i), kFile,
                               static_cast<std::uint64_t>(i)));
        }
        Write(rows);
        const auto manifest = ReadManifestDb(file);
        ASSERT_TRUE(manifest);
        ASSERT_EQ(manifest->size(), rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            ASSERT_EQ((*manifest)[i].StoredName(), rows[i].fileID) << i;
            ASSERT_EQ((*manifest)[i].Path(), rows[i].relativePath) << i;
            ASSERT_EQ((*manifest)[i].size, i) << i;
        }
    }
}

TEST_F(ManifestDb, RowsWithoutAUsableFileIdAreSkipped) {
    ManifestDbRow upper = Row("HomeDomain", "a", kFile);
    for (char& c : upper.fileID) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    ManifestDbRow shortId = Row("HomeDomain", "b", kFile);
    shortId.fileID.pop_back();
    ManifestDbRow nonHex = Row("HomeDomain", "c", kFile);
    nonHex.fileID[7] = 'g';
    const ManifestDbRow good = Row("HomeDomain", "d", kFile);
    Write({upper, shortId, nonHex, good, Row("HomeDomain", "e", kFile)});
    Alter(file, "UPDATE Files SET fileID = NULL WHERE relativePath = 'e'");
    const auto manifest = ReadManifestDb(file);
    ASSERT_TRUE(manifest);
    ASSERT_EQ(manifest->size(), 1u);
    EXPECT_EQ((*manifest)[0].StoredName(), good.fileID);
}

TEST_F(ManifestDb, NullColumnsAndUndecodableArchivesLeaveTheRecordWithoutThoseFacts) {
    ManifestDbRow garbage = Row("HomeDomain", "garbage", kFile);
    garbage.file = "not an archive";
    Write({Row("HomeDomain", "nulls", kFile, 9, 1'400'000'000), garbage});
    Alter(file,
          "UPDATE Files SET domain = NULL, relativePath = NULL, flags = NULL, file = NULL "
          "WHERE relativePath = 'nulls'");
    const auto manifest = ReadManifestDb(file);
    ASSERT_TRUE(manifest);
    ASSERT_EQ(manifest->size(), 2u);
    const ManifestRecord& nulls = (*manifest)[0];
    EXPECT_FALSE(nulls.Domain());
    EXPECT_FALSE(nulls.Path());
    EXPECT_FALSE(nulls.HasContent());  // no flags: not known to be a file
    EXPECT_EQ(nulls.size, 0u);
    EXPECT_TRUE(nulls.ModifiedText().empty());
    const ManifestRecord& undecodable = (*manifest)[1];
    EXPECT_EQ(undecodable.Path(), "garbage");
    EXPECT_TRUE(undecodable.HasContent());
    EXPECT_EQ(undecodable.size, 0u);
    EXPECT_EQ(undecodable.mode, 0);
}

TEST_F(ManifestDb, NoFilesTableOrNoDatabaseGivesNone) {
    Write({Row("HomeDomain", "a", kFile)});
    Alter(file, "DROP TABLE Files");
    EXPECT_FALSE(ReadManifestDb(file));
    EXPECT_FALSE(ReadManifestDb(dir / "missing.db"));
    EXPECT_FALSE(ReadManifestDb(dir.path()));  // a folder
    test::WriteFile(dir / "text.db", "plain text, not a database at all");
    EXPECT_FALSE(ReadManifestDb(dir / "text.db"));
}

TEST_F(ManifestDb, AnEmptyFilesTableGivesAnEmptyManifest) {
    Write({});
    const auto manifest = ReadManifestDb(file);
    ASSERT_TRUE(manifest);
    EXPECT_TRUE(manifest->empty());
    EXPECT_TRUE(manifest->IsModern());
}

// A cut or overwritten database never crashes the reader, and never passes for a whole one.
// The direct page reader must give exactly what SQLite gives, whichever way a file is read.
void ExpectSameRecords(const std::optional<Manifest>& direct,
                       const std::optional<Manifest>& reference) {
    ASSERT_EQ(direct.has_value(), reference.has_value());
    if (!direct) {
        return;
    }
    ASSERT_EQ(direct->size(), reference->size());
    for (std::size_t i = 0; i < direct->size(); ++i) {
        const ManifestRecord& a = (*direct)[i];
        const ManifestRecord& b = (*reference)[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(a.StoredName(), b.StoredName());
        EXPECT_EQ(a.Domain(), b.Domain());
        EXPECT_EQ(a.Path(), b.Path());
        EXPECT_EQ(a.HasContent(), b.HasContent());
        EXPECT_EQ(a.size, b.size);
        EXPECT_EQ(a.mode, b.mode);
        EXPECT_EQ(a.ModifiedText(), b.ModifiedText());
        EXPECT_EQ(a.AccessedText(), b.AccessedText());
        EXPECT_EQ(a.CreatedText(), b.CreatedText());
    }
}

TEST_F(ManifestDb, PagesReadDirectlyGiveWhatSqliteGivesSmallAndLarge) {
    for (const int count : {3, 40'000}) {
        std::vector<ManifestDbRow> rows;
        for (int i = 0; i < count; ++i) {
            rows.push_back(Row(i % 3 == 0 ? "CameraRollDomain" : "AppDomain-com.example.ü",
                               "Media/DCIM/100APPLE/IMG_" + std::to_string(i) + ".HEIC",
                               i % 10 == 0 ? kFolder : kFile, static_cast<std::uint64_t>(i) * 977,
                               1'400'000'000 + static_cast<std::uint32_t>(i) * 3'600));
        }
        // A path longer than a page spills onto overflow pages.
        rows.push_back(Row("HomeDomain", std::string(9'000, 'p'), kFile, 5, 1'500'000'000));
        rows.push_back(Row("", "", kLink));
        std::filesystem::remove(file);
        Write(rows);
        Alter(file, "UPDATE Files SET domain = NULL WHERE relativePath = ''");
        SCOPED_TRACE(count);
        const auto direct = ReadManifestDb(file);
        ASSERT_TRUE(direct);
        EXPECT_EQ(direct->size(), rows.size());
        ExpectSameRecords(direct, ReadManifestDbWithSqlite(file));
    }
}

// Files the direct reader leaves to SQLite, or reads with SQLite's own conversions: the records
// stay the same either way.
TEST_F(ManifestDb, OddFilesGiveWhatSqliteGives) {
    const std::vector<ManifestDbRow> rows = {Row("HomeDomain", "a.jpg", kFile, 1, 1'500'000'000),
                                             Row("MediaDomain", "b.mov", kFile, 2, 1'500'000'100),
                                             Row("MediaDomain", "Media", kFolder)};
    const char* const alterations[] = {
        "UPDATE Files SET domain = 42, relativePath = -7 WHERE relativePath = 'a.jpg'",
        "UPDATE Files SET domain = 2.5 WHERE relativePath = 'a.jpg'",
        "UPDATE Files SET flags = '1' WHERE relativePath = 'Media'",
        "UPDATE Files SET flags = 1.0 WHERE relativePath = 'Media'",
        "UPDATE Files SET domain = CAST(domain AS BLOB), file = CAST('x' AS TEXT)",
        "PRAGMA journal_mode = WAL",
        "ALTER TABLE Files ADD COLUMN extra TEXT",
        "ALTER TABLE Files RENAME TO Old; CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain "
        "REAL, relativePath, flags INTEGER, file BLOB); INSERT INTO Files SELECT * FROM Old; "
        "UPDATE Files SET domain = 3.0, relativePath = 12 WHERE rowid = 1; DROP TABLE Old",
        "ALTER TABLE Files RENAME TO Old; CREATE TABLE Files (domain TEXT, fileID TEXT PRIMARY "
        "KEY, relativePath TEXT, flags INTEGER, file BLOB); INSERT INTO Files (domain, fileID, "
        "relativePath, flags, file) SELECT domain, fileID, relativePath, flags, file FROM Old; "
        "DROP TABLE Old",
        "ALTER TABLE Files RENAME TO Old; CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain "
        "TEXT, relativePath TEXT, flags INTEGER); INSERT INTO Files SELECT fileID, domain, "
        "relativePath, flags FROM Old; ALTER TABLE Files ADD COLUMN file BLOB DEFAULT x'00'; "
        "DROP TABLE Old",
        "ALTER TABLE Files RENAME TO Old; CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain "
        "TEXT, relativePath TEXT, flags INTEGER, file BLOB) WITHOUT ROWID; INSERT INTO Files "
        "SELECT * FROM Old; DROP TABLE Old",
    };
    for (const char* sql : alterations) {
        SCOPED_TRACE(sql);
        std::filesystem::remove(file);
        Write(rows);
        Alter(file, sql);
        const auto direct = ReadManifestDb(file);
        EXPECT_TRUE(direct);
        ExpectSameRecords(direct, ReadManifestDbWithSqlite(file));
    }
}

TEST_F(ManifestDb, TruncatedOrCorruptDatabasesGiveNone) {
    std::vector<ManifestDbRow> rows;
    for (int i = 0; i < 3000; ++i) {
        rows.push_back(Row("MediaDomain", "Media/file" + std::to_string(i) + ".JPG", kFile, 1));
    }
    Write(rows);
    const std::string whole = test::ReadFile(file);
    ASSERT_GT(whole.size(), 100'000u);
    const std::filesystem::path cut = dir / "cut.db";
    for (const std::size_t length :
         {std::size_t{0}, std::size_t{16}, std::size_t{100}, std::size_t{4096}, std::size_t{10'000},
          whole.size() / 2, whole.size() - 4096}) {
        test::WriteFile(cut, std::string_view(whole).substr(0, length));
        const auto manifest = ReadManifestDb(cut);
        EXPECT_FALSE(manifest) << length;
    }
    std::string corrupt = whole;
    for (std::size_t at = 4096; at < corrupt.size(); at += 4096) {
        corrupt.replace(at, 64, 64, '\xA5');  // every page's header overwritten
    }
    test::WriteFile(cut, corrupt);
    EXPECT_FALSE(ReadManifestDb(cut));
}

}  // namespace
}  // namespace pixhaven::backup
