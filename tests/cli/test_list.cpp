// Runs `pixhaven-cli list` as a process on backup roots made by the test and checks its output and
// exit codes.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace pixhaven::test {
namespace {

namespace fs = std::filesystem;

ProcessRun RunCli(const TempDir& scratch, std::vector<std::string> args,
                  const std::map<std::string, std::string>& overrides = {}) {
    return RunProcess(scratch, PIXHAVEN_CLI, std::move(args), overrides);
}

std::string InfoPlist(std::string_view deviceName) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>Device Name</key><string>" +
           std::string(deviceName) +
           "</string>"
           "<key>Last Backup Date</key><date>2013-05-02T10:20:30Z</date>"
           "<key>Serial Number</key><string>C39JT1ABDTWD</string>"
           "<key>Product Type</key><string>iPhone5,2</string>"
           "<key>Product Version</key><string>6.1.3</string>"
           "<key>iTunes Version</key><string>11.0.2</string>"
           "</dict></plist>\n";
}

// Three backups: a readable one, one without info.plist, one with a broken info.plist.
void MakeBackupRoot(const fs::path& root) {
    WriteFile(root / "1111aaaa" / "info.plist", InfoPlist("Ann's \"Phone\""));
    fs::create_directories(root / "2222bbbb");
    WriteFile(root / "3333cccc" / "Info.plist", "<plist>");
}

const std::string kExpectedJson =
    "[\n"
    "  {\"folder\": \"1111aaaa\", \"info\": {\"read_result\": 0, \"device_name\": "
    "\"Ann's \\\"Phone\\\"\", \"last_backup_date\": \"2013-05-02T10:20:30Z\", "
    "\"serial_number\": \"C39JT1ABDTWD\", \"product_type\": \"iPhone5,2\", "
    "\"product_version\": \"6.1.3\", \"itunes_version\": \"11.0.2\"}},\n"
    "  {\"folder\": \"2222bbbb\", \"info\": null},\n"
    "  {\"folder\": \"3333cccc\", \"info\": {\"read_result\": 1, \"device_name\": \"\", "
    "\"last_backup_date\": \"\", \"serial_number\": \"\", \"product_type\": \"\", "
    "\"product_version\": \"\", \"itunes_version\": \"\"}}\n"
    "]\n";

TEST(CliList, JsonListsEveryFolderWithItsFacts) {
    TempDir dir;
    MakeBackupRoot(dir / "root");
    const ProcessRun run = RunCli(dir, {"list", "--root", (dir / "root").string(), "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, kExpectedJson);
    EXPECT_EQ(run.err, "");
}

TEST(CliList, EmptyRootGivesAnEmptyArray) {
    TempDir dir;
    fs::create_directories(dir / "root");
    const ProcessRun run = RunCli(dir, {"list", "--json", "--root", (dir / "root").string()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "[]\n");
}

TEST(CliList, TableAlignsColumnsAndMarksRowsWithoutFacts) {
    TempDir dir;
    MakeBackupRoot(dir / "root");
    WriteFile(dir / "root" / "4444dddd" / "info.plist", InfoPlist("Ünïcode\x1b[2J"));
    WriteFile(dir / "root" / "5555eeee" / "info.plist", InfoPlist("小明的 iPad"));  // wide glyphs
    const ProcessRun run = RunCli(dir, {"list", "--root", (dir / "root").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string expected =
        "Folder    Device Name    Last Backup Date      Serial Number\n"
        "1111aaaa  Ann's \"Phone\"  2013-05-02T10:20:30Z  C39JT1ABDTWD\n"
        "2222bbbb  info.plist not found or may be corrupted\n"
        "3333cccc  info.plist not found or may be corrupted\n"
        "4444dddd  Ünïcode?[2J    2013-05-02T10:20:30Z  C39JT1ABDTWD\n"
        "5555eeee  小明的 iPad    2013-05-02T10:20:30Z  C39JT1ABDTWD\n";
    EXPECT_EQ(run.out, expected);
}

TEST(CliList, RootThatIsNoFolderFails) {
    TempDir dir;
    WriteFile(dir / "plain-file", "x");
    for (const fs::path& root : {dir / "plain-file", dir / "missing"}) {
        const ProcessRun run = RunCli(dir, {"list", "--root", root.string()});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("not a folder"), std::string::npos) << run.err;
    }
}

TEST(CliList, BadOptionsPrintUsage) {
    TempDir dir;
    for (const std::vector<std::string>& args : {std::vector<std::string>{"list", "--frobnicate"},
                                                 {"list", "--root"},
                                                 {"list", "extra"}}) {
        const ProcessRun run = RunCli(dir, args);
        EXPECT_EQ(run.exitCode, 64);
        EXPECT_NE(run.err.find("usage: pixhaven-cli list"), std::string::npos) << run.err;
    }
    const ProcessRun help = RunCli(dir, {"list", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: pixhaven-cli list"), std::string::npos);
}

TEST(CliList, WithoutRootUsesTheUsersDataFolder) {
    TempDir dir;
    const std::map<std::string, std::string> environment = {
        {"XDG_DATA_HOME", (dir / "data").string()},
        {"XDG_CONFIG_HOME", (dir / "config").string()},
        {"HOME", (dir / "home").string()},
    };
    fs::create_directories(dir / "data");
    const ProcessRun missing = RunCli(dir, {"list", "--json"}, environment);
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("Apple Computer/MobileSync/Backup"), std::string::npos)
        << missing.err;

    MakeBackupRoot(dir / "data" / "Apple Computer" / "MobileSync" / "Backup");
    const ProcessRun found = RunCli(dir, {"list", "--json"}, environment);
    EXPECT_EQ(found.exitCode, 0) << found.err;
    EXPECT_EQ(found.out, kExpectedJson);
}

}  // namespace
}  // namespace pixhaven::test
