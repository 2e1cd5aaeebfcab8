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
