// qvutility's folder traversal, program folder and update check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "makerlibs/qvutility.h"
#include "platform/textcodec.h"
#include "tests/support/tempdir.h"

namespace fs = std::filesystem;

namespace pixhaven {
namespace {

using test::TempDir;
using test::WriteFile;

std::vector<std::string> Traverse(const fs::path& folder, std::size_t stopAfter = 1000) {
    std::vector<std::string> names;
    const bool listed = qvTraverseDirW(folder, [&](const QvFindData& entry) {
        EXPECT_TRUE(entry.isDirectory);
        names.push_back(entry.name.string());
        return names.size() < stopAfter;
    });
    if (!listed) {
        names.push_back("<unlisted>");
    }
    return names;
}

TEST(TraverseDir, ReportsImmediateSubFoldersInNameOrder) {
    TempDir dir;
    for (const char* folder : {"b", "a", "C", "a/deeper"}) {
        fs::create_directories(dir / folder);
    }
    WriteFile(dir / "file", "x");
    fs::create_directory_symlink(dir / "b", dir / "linked");
    fs::create_symlink(dir / "nowhere", dir / "dangling");
    EXPECT_EQ(Traverse(dir.path()), (std::vector<std::string>{"C", "a", "b", "linked"}));
    EXPECT_EQ(Traverse(dir.path(), 2), (std::vector<std::string>{"C", "a"}));
}

TEST(TraverseDir, FailsForWhatCannotBeListed) {
    TempDir dir;
    WriteFile(dir / "file", "x");
    EXPECT_EQ(Traverse(dir / "missing"), std::vector<std::string>{"<unlisted>"});
    EXPECT_EQ(Traverse(dir / "file"), std::vector<std::string>{"<unlisted>"});
    EXPECT_EQ(Traverse(dir.path()), std::vector<std::string>{});
    EXPECT_FALSE(qvTraverseDirW(dir.path(), {}));
}

TEST(AppDir, IsTheFolderOfTheRunningProgram) {
    const fs::path appDir = qvGetAppDirW();
    EXPECT_TRUE(fs::is_directory(appDir)) << appDir;
    EXPECT_TRUE(fs::exists(appDir / "makerlibs_test_qvutility")) << appDir;
}

class CheckUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(list_,
                  "# maker's update list\n"
                  "\n"
                  "Other=99.0\n"
                  "  Pixhaven = 6.10.0  \r\n"
                  "pixhaven=100\n");
    }
    int Check(std::u16string_view current, std::u16string_view program = u"Pixhaven") const {
        return qvCheckUpdate(program, current, ListPath());
    }
    std::u16string ListPath() const { return platform::Utf8ToUtf16(list_.string()); }

    TempDir dir_;
    fs::path list_ = dir_ / "update list.txt";
};

TEST_F(CheckUpdate, ComparesVersionsNumerically) {
    EXPECT_EQ(Check(u"6.9.1"), 1);
    EXPECT_EQ(Check(u"6.9.99999999999999999999"), 1);
    EXPECT_EQ(Check(u"6.10.0"), 0);
    EXPECT_EQ(Check(u"6.10"), 0) << "missing components count as 0";
    EXPECT_EQ(Check(u"06.010.000.0"), 0);
    EXPECT_EQ(Check(u"6.10.0.1"), 0);
    EXPECT_EQ(Check(u"7"), 0);
}

TEST_F(CheckUpdate, MatchesTheProgramNameExactly) {
    EXPECT_EQ(Check(u"6.0.0", u"Other"), 1);
    EXPECT_EQ(Check(u"100", u"pixhaven"), 0);
    EXPECT_EQ(Check(u"1.0", u"PIXHAVEN"), 0);
    EXPECT_EQ(Check(u"1.0", u"Pix"), 0);
    EXPECT_EQ(Check(u"1.0", u""), 0);
}

TEST_F(CheckUpdate, MalformedVersionsMeanNoUpdate) {
    for (const char16_t* current :
         {u"", u"6.x", u"6..1", u".6", u"6.", u"v6", u"6.0 beta", u"-1"}) {
        EXPECT_EQ(Check(current), 0) << platform::Utf16ToUtf8(current);
    }
    for (const char* line : {"Pixhaven=7.x\n", "Pixhaven=\n", "Pixhaven\n", "=7\n"}) {
        WriteFile(list_, std::string("Pixhaven=7\n") + line);
        EXPECT_EQ(Check(u"6.0.0"), 0) << line;
    }
}

TEST_F(CheckUpdate, ReadsLocalFilesOnly) {
    const std::string path = list_.string();
    std::string escaped;
    for (const char c : path) {
        escaped += c == ' ' ? std::string("%20") : std::string(1, c);
    }
    EXPECT_EQ(qvCheckUpdate(u"Pixhaven", u"6.0.0", platform::Utf8ToUtf16("file://" + escaped)), 1);
    EXPECT_EQ(
        qvCheckUpdate(u"Pixhaven", u"6.0.0", platform::Utf8ToUtf16("FILE://localhost" + escaped)),
        1);
    for (const char* address :
         {"http://127.0.0.1:9/list", "https://example.invalid/list", "ftp://host/list",
          "file://otherhost/list", "file:relative", "file:///bad%2", ""}) {
        EXPECT_EQ(qvCheckUpdate(u"Pixhaven", u"6.0.0", platform::Utf8ToUtf16(address)), 0)
            << address;
    }
    EXPECT_EQ(qvCheckUpdate(u"Pixhaven", u"6.0.0", ListPath() + u".missing"), 0);
    EXPECT_EQ(qvCheckUpdate(u"Pixhaven", u"6.0.0", platform::Utf8ToUtf16(dir_.path().string())), 0);
}

TEST_F(CheckUpdate, OversizedListsAreNotRead) {
    WriteFile(list_, "Pixhaven=7\n" + std::string(2u << 20, '#'));
    EXPECT_EQ(Check(u"6.0.0"), 0);
}

}  // namespace
}  // namespace pixhaven
