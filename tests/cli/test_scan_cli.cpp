// Runs `pixhaven-cli scan` and `recover` as processes on a generated sample backup.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <utility>

#include "backup/backupmanifest.h"
#include "backup/manifest.h"
#include "tests/support/failing_disk.h"
#include "tests/support/process.h"
#include "tools/samplegen/manifestdb_writer.h"
#include "tools/samplegen/mbdb_writer.h"
#include "tools/samplegen/mbfile_writer.h"
#include "tools/samplegen/samplegen.h"

namespace pixhaven::test {
namespace {

namespace fs = std::filesystem;

const samplegen::BackupReport& FirstBackup(const samplegen::SampleReport& report) {
    return report.backups.front();
}

samplegen::SampleReport MakeSample(const TempDir& dir) {
    samplegen::SampleOptions options;
    options.out = dir / "root";
    options.preset = samplegen::SamplePreset::Small;
    return samplegen::GenerateSampleRoot(options);
}

std::size_t FilesBelow(const fs::path& folder) {
    std::size_t count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        count += entry.is_regular_file() ? 1 : 0;
    }
    return count;
}

TEST(ScanCommand, JsonListsThirteenGroupsInCategoryOrder) {
    TempDir dir;
    const samplegen::SampleReport report = MakeSample(dir);
    const ProcessRun run =
        RunProcess(dir, PIXHAVEN_CLI, {"scan", FirstBackup(report).folder.string(), "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::size_t at = 0;
    for (const char* label : {"Camera Roll", "PhotoStream", "Attachment", "JPG", "PNG", "BMP",
                              "GIF", "TIFF", "MOV", "MP3", "MP4", "M4A", "3GP"}) {
        at = run.out.find("\"label\": \"" + std::string(label) + "\"", at);
        ASSERT_NE(at, std::string::npos) << label;
    }
    EXPECT_NE(run.out.find("\"name\": \"0001.jpg\""), std::string::npos);
    EXPECT_TRUE(std::regex_search(run.out, std::regex("\"total\": [1-9]")));
}

samplegen::ManifestDbRow ModernRow(const std::string& path, int flags) {
    const samplegen::MbFileFields fields{12,      1'500'000'000, 1'500'000'000, 1'500'000'000,
                                         0100644, path};
    return {backup::MakeStoredName("CameraRollDomain", path), "CameraRollDomain", path, flags,
            samplegen::EncodeMbFile(fields)};
}

// A photo with its stored file in the name's two-character sub-folder, and a folder that looks
// like a photo by name but has no content.
fs::path MakeModernBackup(const TempDir& dir) {
    const fs::path folder = dir / "modern";
    const auto photo = ModernRow("Media/DCIM/100APPLE/IMG_0001.JPG", 1);
    WriteFile(folder / photo.fileID.substr(0, 2) / photo.fileID,
              std::string("\xFF\xD8\xFF\xE0", 4) + "jpeg\xFF\xD9");
    samplegen::WriteManifestDb(folder / "Manifest.db",
                               {photo, ModernRow("Media/DCIM/101APPLE.JPG", 2)});
    return folder;
}

TEST(ScanCommand, ModernBackupIsScannedAndRecovered) {
    TempDir dir;
    const fs::path folder = MakeModernBackup(dir);
    const ProcessRun scan = RunProcess(dir, PIXHAVEN_CLI, {"scan", folder.string(), "--json"});
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    EXPECT_NE(scan.out.find("\"name\": \"0001.jpg\""), std::string::npos) << scan.out;
    EXPECT_EQ(scan.out.find("0002.jpg"), std::string::npos) << "the folder joined a group";

    fs::create_directories(dir / "out");
    const ProcessRun recover =
        RunProcess(dir, PIXHAVEN_CLI, {"recover", folder.string(), "--to", (dir / "out").string()});
    ASSERT_EQ(recover.exitCode, 0) << recover.err;
    EXPECT_EQ(FilesBelow(dir / "out"), 1u) << recover.out;
}

TEST(ScanCommand, EncryptedBackupIsRefusedWithItsMessage) {
    TempDir dir;
    const fs::path folder = dir / "encrypted";
    WriteFile(folder / "Manifest.db", std::string(4096, '\x3C'));
    WriteFile(folder / "Manifest.plist",
              "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>IsEncrypted</key><true/>"
              "</dict></plist>");
    const std::string expected =
        std::string(backup::ManifestProblemMessage(backup::ManifestProblem::NoKeys)) + "\n";
    fs::create_directories(dir / "out");
    for (const auto& args :
         {std::vector<std::string>{"scan", folder.string()},
          std::vector<std::string>{"recover", folder.string(), "--to", (dir / "out").string()}}) {
        const ProcessRun run = RunProcess(dir, PIXHAVEN_CLI, args);
        EXPECT_EQ(run.exitCode, 2) << args[0];
        EXPECT_EQ(run.err, expected) << args[0];
    }
}

TEST(ScanCommand, BackupWithoutManifestFails) {
    TempDir dir;
    fs::create_directories(dir / "empty");
    for (const auto& args : {std::vector<std::string>{"scan", (dir / "empty").string()},
                             std::vector<std::string>{"recover", (dir / "empty").string(), "--to",
                                                      dir.path().string()}}) {
        const std::string& command = args[0];
        const ProcessRun run = RunProcess(dir, PIXHAVEN_CLI, args);
        EXPECT_EQ(run.exitCode, 2) << command;
        EXPECT_EQ(run.err, "Parse Mainfest.mbdb failed!\n") << command;
    }
}

// MOV names are shown as the "ANSI" charset decodes the path's bytes, so the command runs in the
// user's locale as the window does.
TEST(ScanCommand, MovNamesDecodeInTheUsersCharset) {
    TempDir dir;
    samplegen::MbdbEntry movie;
    movie.domain = "MediaDomain";
    movie.path = "Media/Caf\xc3\xa9.MOV";
    movie.size = 4;
    WriteFile(dir / "b" / backup::MakeStoredName(movie.domain, movie.path), "moov");
    samplegen::WriteMbdb(dir / "b" / "Manifest.mbdb", {movie});
    const auto latin1 = Latin1Locale(dir);
    ASSERT_FALSE(latin1.empty()) << "no Latin-1 locale (localedef, locales package)";
    for (const auto& [environment, name] :
         {std::pair<std::map<std::string, std::string>, std::string>{{{"LC_ALL", "C"}},
                                                                     "Caf\xef\xbf\xbd\xef\xbf\xbd"},
          {{{"LC_ALL", "C.UTF-8"}}, "Caf\xc3\xa9"},
          {latin1, "Caf\xc3\x83\xc2\xa9"}}) {
        const ProcessRun run =
            RunProcess(dir, PIXHAVEN_CLI, {"scan", (dir / "b").string(), "--json"}, environment);
        EXPECT_NE(run.out.find("\"name\": \"Media/" + name + ".MOV\""), std::string::npos)
            << run.out;
    }
}

TEST(RecoverCommand, CopiesTheNamedGroupsAndReportsWhatCouldNotBeCopied) {
    TempDir dir;
    const samplegen::SampleReport report = MakeSample(dir);
    fs::create_directories(dir / "out");
    const ProcessRun run = RunProcess(dir, PIXHAVEN_CLI,
                                      {"recover", FirstBackup(report).folder.string(), "--to",
                                       (dir / "out").string(), "--group", "0", "--group", "8"});
    // The sample lacks some stored files on purpose: each is named on stderr.
    ASSERT_EQ(run.exitCode, 3) << run.err;
    std::smatch match;
    ASSERT_TRUE(std::regex_search(run.out, match,
                                  std::regex("^Recovering finished, ([0-9]+) files have been "
                                             "recovered, ([0-9]+) could not be copied\\.\n"
                                             "SaveFile:(.*)\n$")))
        << run.out;
    const fs::path output = match[3].str();
    EXPECT_EQ(output.parent_path(), dir / "out");
    EXPECT_TRUE(std::regex_match(output.filename().string(), std::regex("PXHVN[0-9]{14}")));
    std::vector<std::string> groupFolders;
    for (const auto& entry : fs::directory_iterator(output)) {
        groupFolders.push_back(entry.path().filename().string());
    }
    std::sort(groupFolders.begin(), groupFolders.end());
    ASSERT_EQ(groupFolders.size(), 2u);
    EXPECT_TRUE(std::regex_match(groupFolders[0], std::regex("Camera Roll \\([1-9][0-9]*\\)")));
    EXPECT_TRUE(std::regex_match(groupFolders[1], std::regex("MOV \\([1-9][0-9]*\\)")));
    EXPECT_EQ(FilesBelow(output), static_cast<std::size_t>(std::stoi(match[1].str())));
    const auto failed = static_cast<std::ptrdiff_t>(std::stoi(match[2].str()));
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), failed) << run.err;
    EXPECT_NE(run.err.find(": the stored file could not be read (No such file or directory)\n"),
              std::string::npos)
        << run.err;
}

// Two clips of the same name in different device folders must both be written.
TEST(RecoverCommand, SameNamedFilesAreAllWritten) {
    TempDir dir;
    const fs::path folder = dir / "backup";
    std::vector<samplegen::MbdbEntry> entries;
    for (const std::string path :
         {"Media/DCIM/100APPLE/\xC3\xA4.MOV", "Media/DCIM/101APPLE/\xC3\xB6.MOV",
          "Media/DCIM/102APPLE/\xC3\xA4.MOV"}) {
        samplegen::MbdbEntry entry;
        entry.domain = "CameraRollDomain";
        entry.path = path;
        entry.size = 4;
        entries.push_back(entry);
        WriteFile(folder / backup::MakeStoredName("CameraRollDomain", path), path);
    }
    samplegen::WriteMbdb(folder / "Manifest.mbdb", entries);
    fs::create_directories(dir / "out");
    const ProcessRun run =
        RunProcess(dir, PIXHAVEN_CLI, {"recover", folder.string(), "--to", (dir / "out").string()},
                   {{"LC_ALL", "C.UTF-8"}});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Recovering finished, 3 files have been recovered.\n"),
              std::string::npos);
    EXPECT_EQ(FilesBelow(dir / "out"), 3u);
}

TEST(RecoverCommand, AnUnusableTargetFolderIsRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    const samplegen::SampleReport report = MakeSample(dir);
    WriteFile(dir / "file", "not a folder");
    fs::create_directories(dir / "readonly");
    const UnwritableFolder readOnly(dir / "readonly");
    struct Target {
        fs::path folder;
        std::string reason;
    };
    std::vector<Target> targets = {{dir / "no" / "such", "no such folder"},
                                   {dir / "file", "it is not a folder"}};
    if (readOnly.Active()) {
        targets.push_back({dir / "readonly", "cannot create the recovery folder in"});
    }
    for (const auto& target : targets) {
        const ProcessRun run = RunProcess(
            dir, PIXHAVEN_CLI,
            {"recover", FirstBackup(report).folder.string(), "--to", target.folder.string()});
        EXPECT_EQ(run.exitCode, 2) << target.folder;
        EXPECT_NE(run.err.find(target.reason), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(fs::exists(dir / "no"));
    EXPECT_TRUE(fs::is_empty(dir / "readonly"));
}

// The password comes from a file or standard input, never from the command line.
TEST(ScanCommand, EncryptedBackupsOpenWithAPasswordFile) {
    TempDir dir;
    const samplegen::SampleReport report = MakeSample(dir);
    for (const samplegen::BackupReport& backup : report.backups) {
        if (!backup.encryption) {
            continue;
        }
        const std::string folder = backup.folder.string();
        const ProcessRun locked = RunProcess(dir, PIXHAVEN_CLI, {"scan", folder});
        EXPECT_EQ(locked.exitCode, 4);
        EXPECT_NE(locked.err.find("--password-file"), std::string::npos) << locked.err;

        WriteFile(dir / "password.txt", backup.encryption->password + "\n");
        const ProcessRun opened =
            RunProcess(dir, PIXHAVEN_CLI,
                       {"scan", folder, "--password-file", (dir / "password.txt").string()});
        EXPECT_EQ(opened.exitCode, 0) << opened.err;
        const std::string plain =
            RunProcess(dir, PIXHAVEN_CLI,
                       {"scan", report.backups[*backup.sameFilesAs].folder.string()})
                .out;
        if (backup.manifest == samplegen::ManifestKind::Mbdb) {
            EXPECT_EQ(opened.out, plain) << "the same groups as the same files unencrypted";
        }

        const ProcessRun wrong =
            RunProcess(dir, PIXHAVEN_CLI,
                       {"recover", folder, "--to", dir.path().string(), "--password-file", "-"}, {},
                       std::string("not the password\n"));
        EXPECT_EQ(wrong.exitCode, 5);
        EXPECT_NE(wrong.err.find("password is wrong"), std::string::npos) << wrong.err;
        EXPECT_EQ(wrong.out, "");
    }
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        EXPECT_FALSE(entry.path().filename().string().starts_with("PXHVN")) << "nothing written";
    }
}

TEST(RecoverCommand, WrongArgumentsShowUsage) {
    TempDir dir;
    for (const auto& args :
         {std::vector<std::string>{"recover", "x"},
          std::vector<std::string>{"recover", "x", "--to", "y", "--group", "13"},
          std::vector<std::string>{"recover", "x", "--to", "y", "--group", "a"},
          std::vector<std::string>{"recover", "x", "--to", "y", "--group", "0013"}}) {
        const ProcessRun run = RunProcess(dir, PIXHAVEN_CLI, args);
        EXPECT_EQ(run.exitCode, 64);
    }
}

}  // namespace
}  // namespace pixhaven::test
