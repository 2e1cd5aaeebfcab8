// Runs `pixhaven-cli manifest` as a process on manifests the test writes.
#include <gtest/gtest.h>

#include "backup/backupmanifest.h"
#include "backup/manifest.h"
#include "tests/support/process.h"
#include "tools/samplegen/manifestdb_writer.h"
#include "tools/samplegen/mbdb_writer.h"
#include "tools/samplegen/mbfile_writer.h"

namespace pixhaven::test {
namespace {

using samplegen::MbdbEntry;
using namespace std::string_literals;

ProcessRun RunManifest(const TempDir& scratch, const std::vector<std::string>& args) {
    std::vector<std::string> all = {"manifest"};
    all.insert(all.end(), args.begin(), args.end());
    return RunProcess(scratch, PIXHAVEN_CLI, all, {{"TZ", "UTC"}});
}

MbdbEntry Entry(std::optional<std::string> domain, std::optional<std::string> path,
                std::uint32_t modified, std::uint64_t size) {
    MbdbEntry entry;
    entry.domain = std::move(domain);
    entry.path = std::move(path);
    entry.modified = modified;
    entry.size = size;
    return entry;
}

TEST(ManifestCommand, PrintsOneEscapedLinePerRecordInFileOrder) {
    TempDir dir;
    std::filesystem::create_directories(dir / "backup");
    samplegen::WriteMbdb(
        dir / "backup" / "Manifest.mbdb",
        {Entry("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.JPG", 1341425109, 2048),
         Entry(std::nullopt, "odd\tname\nwith\\slash", 0, 0x100000001ULL),
         Entry("Dom\x1b[2Jain", "bell\a\x7f\0nul\r\x1f"s, 0, 3)});
    const ProcessRun run = RunManifest(dir, {(dir / "backup").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string first =
        backup::MakeStoredName("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.JPG");
    const std::string second = backup::MakeStoredName(std::nullopt, "odd\tname\nwith\\slash");
    const std::string third = backup::MakeStoredName("Dom\x1b[2Jain", "bell\a\x7f\0nul\r\x1f"s);
    EXPECT_EQ(run.out, first +
                           "\t2048\t07-04-2012 18:05:09\tCameraRollDomain\t"
                           "Media/DCIM/100APPLE/IMG_0001.JPG\n" +
                           second + "\t1\t\t\todd\\tname\\nwith\\\\slash\n" + third +
                           "\t3\t\tDom\\u001b[2Jain\tbell\\u0007\\u007f\\u0000nul\\r\\u001f\n");
}

TEST(ManifestCommand, ReadsManifestDbWhenThereIsNoMbdb) {
    TempDir scratch;
    const auto row = [](const std::string& path, int flags, std::uint64_t size) {
        const samplegen::MbFileFields fields{size, 1'500'000'000, 0, 0, 0100644, path};
        return samplegen::ManifestDbRow{backup::MakeStoredName("HomeDomain", path), "HomeDomain",
                                        path, flags, samplegen::EncodeMbFile(fields, true)};
    };
    samplegen::WriteManifestDb(scratch / "b" / "Manifest.db",
                               {row("Library/Notes/notes.db", 1, 7), row("Library/Notes", 2, 0)});
    const ProcessRun run = RunManifest(scratch, {(scratch / "b").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, backup::MakeStoredName("HomeDomain", "Library/Notes/notes.db") +
                           "\t7\t07-14-2017 02:40:00\tHomeDomain\tLibrary/Notes/notes.db\n" +
                           backup::MakeStoredName("HomeDomain", "Library/Notes") +
                           "\t0\t07-14-2017 02:40:00\tHomeDomain\tLibrary/Notes\n");
}

TEST(ManifestCommand, ManifestNamesMatchWithoutRegardToCase) {
    TempDir dir;
    std::filesystem::create_directories(dir / "old");
    samplegen::WriteMbdb(dir / "old" / "manifest.MBDB", {Entry("HomeDomain", "a.txt", 0, 1)});
    const samplegen::MbFileFields fields{1, 0, 0, 0, 0100644, "a.txt"};
    samplegen::WriteManifestDb(dir / "new" / "MANIFEST.DB",
                               {{backup::MakeStoredName("HomeDomain", "a.txt"), "HomeDomain",
                                 "a.txt", 1, samplegen::EncodeMbFile(fields, true)}});
    for (const char* folder : {"old", "new"}) {
        const ProcessRun run = RunManifest(dir, {(dir / folder).string()});
        EXPECT_EQ(run.exitCode, 0) << folder << ": " << run.err;
        EXPECT_EQ(run.out,
                  backup::MakeStoredName("HomeDomain", "a.txt") + "\t1\t\tHomeDomain\ta.txt\n")
            << folder;
    }
}

TEST(ManifestCommand, EncryptedBackupSaysSo) {
    TempDir scratch;
    WriteFile(scratch / "b" / "Manifest.db", std::string(4096, '\x3C'));
    WriteFile(scratch / "b" / "Manifest.plist",
              "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>IsEncrypted</key><true/>"
              "</dict></plist>");
    const ProcessRun run = RunManifest(scratch, {(scratch / "b").string()});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err,
              std::string(backup::ManifestProblemMessage(backup::ManifestProblem::NoKeys)) + "\n");
}

TEST(ManifestCommand, UnreadableManifestFailsWithTheProgramsMessage) {
    TempDir dir;
    WriteFile(dir / "badmagic" / "Manifest.mbdb", "MBDB\x05\x00");
    WriteFile(dir / "headeronly" / "Manifest.mbdb", samplegen::MbdbHeader());
    std::filesystem::create_directories(dir / "missing");
    for (const char* folder : {"badmagic", "headeronly", "missing"}) {
        const ProcessRun run = RunManifest(dir, {(dir / folder).string()});
        EXPECT_EQ(run.exitCode, 2) << folder;
        EXPECT_EQ(run.err, "Parse Mainfest.mbdb failed!\n") << folder;
        EXPECT_EQ(run.out, "") << folder;
    }
}

TEST(ManifestCommand, WrongArgumentsShowUsage) {
    TempDir dir;
    for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"a", "b"},
                             std::vector<std::string>{"--json"}}) {
        const ProcessRun run = RunManifest(dir, args);
        EXPECT_EQ(run.exitCode, 64);
        EXPECT_NE(run.err.find("usage"), std::string::npos);
    }
}

}  // namespace
}  // namespace pixhaven::test
