// The no-overwrite copy, folder creation, case-insensitive lookup, bounded reads, the atomic
// replace and the file lock.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "tests/support/tempdir.h"

namespace fs = std::filesystem;

namespace pixhaven::platform {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& b : bytes)
        b = static_cast<char>(generator());
    return bytes;
}

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(CopyFileNoOverwrite, CopiesBytesExactly) {
    TempDir dir;
    const std::string sizes[] = {"", RandomBytes(256, 1), RandomBytes(5 * 1024 * 1024 + 17, 2)};
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
        const fs::path from = dir / ("from" + std::to_string(i));
        const fs::path to = dir / ("to" + std::to_string(i));
        WriteFile(from, sizes[i]);
        ASSERT_EQ(CopyFileNoOverwrite(from, to), CopyResult::Copied);
        EXPECT_EQ(ReadFile(to), sizes[i]) << "file " << i;
    }
}

TEST(CopyFileNoOverwrite, KeepsTheModificationTime) {
    TempDir dir;
    WriteFile(dir / "from", "x");
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    fs::last_write_time(dir / "from", old);
    ASSERT_EQ(CopyFileNoOverwrite(dir / "from", dir / "to"), CopyResult::Copied);
    EXPECT_EQ(fs::last_write_time(dir / "to"), fs::last_write_time(dir / "from"));
}

TEST(CopyFileNoOverwrite, NeverReplacesAnExistingDestination) {
    TempDir dir;
    WriteFile(dir / "from", "new bytes");
    WriteFile(dir / "to", "keep");
    EXPECT_EQ(CopyFileNoOverwrite(dir / "from", dir / "to"), CopyResult::DestinationExists);
    EXPECT_EQ(ReadFile(dir / "to"), "keep");

    // A symbolic link, even a dangling one, is an existing name: nothing is written through it.
    fs::create_symlink(dir / "target", dir / "link");
    EXPECT_EQ(CopyFileNoOverwrite(dir / "from", dir / "link"), CopyResult::DestinationExists);
    EXPECT_FALSE(fs::exists(dir / "target"));

    fs::create_directory(dir / "folder");
    EXPECT_EQ(CopyFileNoOverwrite(dir / "from", dir / "folder"), CopyResult::DestinationExists);
}

TEST(CopyFileNoOverwrite, CreatesNothingWithoutAReadableSource) {
    TempDir dir;
    fs::create_directory(dir / "folder");
    ASSERT_TRUE(test::MakeFifo(dir / "fifo"));
    for (const char* source : {"missing", "folder", "fifo"}) {
        EXPECT_EQ(CopyFileNoOverwrite(dir / source, dir / "to"), CopyResult::SourceUnreadable)
            << source;
        EXPECT_FALSE(fs::exists(dir / "to")) << source;
    }
}

TEST(CopyFileNoOverwrite, ReportsADestinationThatCannotBeCreated) {
    TempDir dir;
    WriteFile(dir / "from", "x");
    EXPECT_EQ(CopyFileNoOverwrite(dir / "from", dir / "no-such-folder" / "to"),
              CopyResult::DestinationFailed);
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"from"});
}

// Racing copies to one name: exactly one wins and the file holds the winner's bytes whole.
TEST(CopyFileNoOverwrite, ConcurrentCopiesToOneNameHaveOneWinner) {
    TempDir dir;
    constexpr int kCopies = 8;
    for (int i = 0; i < kCopies; ++i) {
        WriteFile(dir / ("from" + std::to_string(i)), RandomBytes(256 * 1024, 10 + i));
    }
    std::vector<CopyResult> results(kCopies);
    {
        std::vector<std::jthread> copiers;
        for (int i = 0; i < kCopies; ++i) {
            copiers.emplace_back([&, i] {
                results[i] = CopyFileNoOverwrite(dir / ("from" + std::to_string(i)), dir / "to");
            });
        }
    }
    const auto winner = std::find(results.begin(), results.end(), CopyResult::Copied);
    ASSERT_NE(winner, results.end());
    EXPECT_EQ(std::count(results.begin(), results.end(), CopyResult::DestinationExists),
              kCopies - 1);
    const auto index = std::to_string(winner - results.begin());
    EXPECT_EQ(ReadFile(dir / "to"), ReadFile(dir / ("from" + index)));
}

TEST(Folders, CreateFolderAndTree) {
    TempDir dir;
    EXPECT_TRUE(CreateFolder(dir / "one"));
    EXPECT_FALSE(CreateFolder(dir / "one")) << "exists already";
    EXPECT_FALSE(CreateFolder(dir / "missing" / "child"));
    EXPECT_FALSE(fs::exists(dir / "missing"));

    EXPECT_TRUE(CreateFolderTree(dir / "a" / "b" / "c"));
    EXPECT_TRUE(IsFolder(dir / "a" / "b" / "c"));
    EXPECT_TRUE(CreateFolderTree(dir / "a" / "b")) << "an existing folder is fine";
    WriteFile(dir / "file", "x");
    EXPECT_FALSE(CreateFolderTree(dir / "file" / "below"));
    EXPECT_FALSE(CreateFolderTree(""));
}

TEST(Folders, ExistenceTestsFollowLinks) {
    TempDir dir;
    fs::create_directory(dir / "real");
    fs::create_directory_symlink(dir / "real", dir / "link");
    WriteFile(dir / "file", "x");
    EXPECT_TRUE(IsFolder(dir / "link"));
    EXPECT_FALSE(IsFolder(dir / "file"));
    EXPECT_TRUE(PathExists(dir / "file"));
    EXPECT_FALSE(PathExists(dir / "nothing"));
    EXPECT_FALSE(PathExists(""));
}

TEST(FindEntryIgnoringCase, MatchesAnyCapitalisationPreferringExact) {
    TempDir dir;
    WriteFile(dir / "Info.PLIST", "x");
    EXPECT_EQ(FindEntryIgnoringCase(dir.path(), "info.plist"), dir / "Info.PLIST");
    WriteFile(dir / "info.plist", "y");
    WriteFile(dir / "INFO.plist", "z");
    EXPECT_EQ(FindEntryIgnoringCase(dir.path(), "info.plist"), dir / "info.plist");
    EXPECT_EQ(FindEntryIgnoringCase(dir.path(), "Info.plist"), dir / "INFO.plist")
        << "without an exact match the byte-wise smallest spelling wins";
    EXPECT_EQ(FindEntryIgnoringCase(dir.path(), "manifest.mbdb"), std::nullopt);
    EXPECT_EQ(FindEntryIgnoringCase(dir / "missing", "info.plist"), std::nullopt);
}

TEST(FindEntryIgnoringCase, StaysInsideTheFolder) {
    TempDir dir;
    WriteFile(dir / "outside", "x");
    fs::create_directory(dir / "inside");
    for (const char* name : {"../outside", "..", ".", "", "a/b"}) {
        EXPECT_EQ(FindEntryIgnoringCase(dir / "inside", name), std::nullopt) << name;
    }
}

TEST(FileSizes, RegularFilesOnly) {
    TempDir dir;
    WriteFile(dir / "file", "12345");
    EXPECT_EQ(FileSize(dir / "file"), 5u);
    EXPECT_EQ(FileSize(dir.path()), std::nullopt);
    EXPECT_EQ(FileSize(dir / "missing"), std::nullopt);

    EXPECT_EQ(ReadRegularFile(dir / "file", 5), "12345");
    EXPECT_EQ(ReadRegularFile(dir / "file", 4), std::nullopt);
    EXPECT_EQ(ReadRegularFile(dir.path(), 100), std::nullopt);
    ASSERT_TRUE(test::MakeFifo(dir / "fifo"));
    EXPECT_EQ(ReadRegularFile(dir / "fifo", 100), std::nullopt) << "must not block on a FIFO";
}

TEST(ReplaceFileAtomically, ReplacesAndLeavesNoTemporaryFiles) {
    TempDir dir;
    ASSERT_TRUE(ReplaceFileAtomically(dir / "store", "first"));
    ASSERT_TRUE(ReplaceFileAtomically(dir / "store", "second"));
    EXPECT_EQ(ReadFile(dir / "store"), "second");
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"store"});

    EXPECT_FALSE(ReplaceFileAtomically(dir / "missing" / "store", "x"));
    fs::create_directory(dir / "folder");
    EXPECT_FALSE(ReplaceFileAtomically(dir / "folder", "x"));
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"folder", "store"}));
}

// Read-modify-write of a counter from several threads loses no increment while the lock is held.
TEST(ExclusiveFileLock, SerialisesReadModifyWrite) {
    TempDir dir;
    WriteFile(dir / "counter", "0");
    constexpr int kThreads = 4;
    constexpr int kIncrements = 50;
    std::atomic<bool> lockFailed{false};
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&] {
                for (int i = 0; i < kIncrements; ++i) {
                    const ExclusiveFileLock lock(dir / "counter.lock");
                    lockFailed = lockFailed || !lock.IsLocked();
                    const int value = std::stoi(ReadFile(dir / "counter"));
                    WriteFile(dir / "counter", std::to_string(value + 1));
                }
            });
        }
    }
    EXPECT_FALSE(lockFailed.load());
    EXPECT_EQ(ReadFile(dir / "counter"), std::to_string(kThreads * kIncrements));
}

TEST(ExclusiveFileLock, WithoutWaitingGivesUpWhileHeld) {
    TempDir dir;
    {
        const ExclusiveFileLock first(dir / "instance.lock", ExclusiveFileLock::Wait::No);
        ASSERT_TRUE(first.IsLocked());
        const ExclusiveFileLock second(dir / "instance.lock", ExclusiveFileLock::Wait::No);
        EXPECT_FALSE(second.IsLocked());
    }
    const ExclusiveFileLock afterRelease(dir / "instance.lock", ExclusiveFileLock::Wait::No);
    EXPECT_TRUE(afterRelease.IsLocked());
}

TEST(ExclusiveFileLock, ReportsALockFileThatCannotBeMade) {
    TempDir dir;
    const ExclusiveFileLock lock(dir / "missing" / "lock");
    EXPECT_FALSE(lock.IsLocked());
}

}  // namespace
}  // namespace pixhaven::platform
