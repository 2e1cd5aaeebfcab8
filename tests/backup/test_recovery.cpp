// Recovery on hand-made scan results: folders and names, name clashes, failed copies and what is
// reported of them, hostile names that must stay inside their group folder, pausing and stopping
// from another thread.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "backup/recovery.h"
#include "backup/workers.h"
#include "platform/localtime.h"
#include "tests/support/failing_disk.h"
#include "tests/support/fake_observer.h"
#include "tests/support/tempdir.h"

namespace pixhaven::backup {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::u16string Ascii(std::string_view text) {
    return std::u16string(text.begin(), text.end());
}

class RecoveryTest : public ::testing::Test {
protected:
    RecoveryTest() { control.run.Set(); }

    // Adds an item whose stored file holds `bytes` (none: the stored file is missing), and marks
    // the group as a finished scan would.
    MediaItem& AddItem(int group, std::u16string displayName, bool ticked,
                       std::optional<std::string> bytes = std::nullopt) {
        auto item = std::make_unique<MediaItem>();
        item->kind = group < kMov ? MediaKind::Photo : MediaKind::AudioVideo;
        item->displayName = std::move(displayName);
        item->file = backup / ("stored" + std::to_string(nextStored++));
        const std::string contents = bytes.value_or("bytes of " + item->file.path.string());
        if (!bytes || !bytes->empty()) {
            WriteFile(item->file.path, contents);
        }
        item->checked = ticked ? 1 : 0;
        auto& list = results.groups[static_cast<std::size_t>(group)];
        list.push_back(std::move(item));
        results.hasResults[static_cast<std::size_t>(group)] = true;
        results.labels[static_cast<std::size_t>(group)] =
            std::u16string(kMediaGroups[static_cast<std::size_t>(group)].label) + u" (" +
            Ascii(std::to_string(list.size())) + u")";
        return *list.back();
    }

    RecoveryContext Context(const fs::path& folder) {
        fs::create_directories(folder);
        return RecoveryContext{results, folder, control, observer, CountCheckedItems(results), {}};
    }

    TempDir dir;
    fs::path backup = dir / "backup";
    fs::path output = dir / "out";
    ScanResults results;
    WorkerControl control;
    test::FakeObserver observer;
    int nextStored = 1;
};

TEST_F(RecoveryTest, CopiesTickedItemsIntoGroupFoldersNamedByTickedCount) {
    const MediaItem& first = AddItem(kJpg, u"0001.jpg", true);
    AddItem(kJpg, u"0002.jpg", false);
    const MediaItem& third = AddItem(kJpg, u"0003.jpg", true);
    const MediaItem& song = AddItem(kMp3, u"Media/iTunes_Control/Music/F01/ABCD.mp3", true);
    auto recovery = Context(output);

    EXPECT_EQ(RecoveryWorker(recovery), 1);

    EXPECT_EQ(ReadFile(output / "JPG (2)" / "0001.jpg"), ReadFile(first.file.path));
    EXPECT_EQ(ReadFile(output / "JPG (2)" / "0003.jpg"), ReadFile(third.file.path));
    EXPECT_FALSE(fs::exists(output / "JPG (2)" / "0002.jpg"));
    EXPECT_EQ(ReadFile(output / "MP3 (1)" / "ABCD.mp3"), ReadFile(song.file.path));
    EXPECT_EQ(results.done, 3);
    EXPECT_EQ(results.total, 3);
    EXPECT_EQ(observer.Progress(), (std::vector<int>{33, 66, 100}));
    EXPECT_EQ(observer.Statuses().back(),
              u"Recovering: " + (output / "MP3 (1)" / "ABCD.mp3").u16string());
    EXPECT_EQ(observer.Finished(), std::vector<int>{kOperationRecovering});
}

TEST_F(RecoveryTest, GroupsWithoutTicksOrItemsCreateNothing) {
    AddItem(kGif, u"0001.gif", false);
    auto recovery = Context(output);

    EXPECT_EQ(RecoverGroup(recovery, kGif), 0);
    EXPECT_EQ(RecoverGroup(recovery, kTiff), 0);
    EXPECT_TRUE(fs::is_empty(output));
    EXPECT_TRUE(observer.Statuses().empty());
}

TEST_F(RecoveryTest, SameNamesInAGroupAreNumberedAndNothingIsReplaced) {
    struct Clash {
        int group;
        std::u16string path;  // of every item: all end in the same file name
        std::vector<std::string> written;
    };
    const std::vector<Clash> clashes = {
        {kBmp, u"Library/scene.bmp", {"scene.bmp", "scene (2).bmp", "scene (3).bmp"}},
        {kMov, u"Media/\u00e4/IMG.MOV", {"IMG.MOV", "IMG (2).MOV", "IMG (3).MOV"}},
        {kMp3, u"Media/a/song.mp3", {"song.mp3", "song (2).mp3", "song (3).mp3"}},
        {kMp4, u"Media/a/clip", {"clip", "clip (2)", "clip (3)"}},
        {kM4a, u"Media/a/.memo", {".memo", ".memo (2)", ".memo (3)"}},
        {k3gp, u"Media/a/v.1.3gp", {"v.1.3gp", "v.1 (2).3gp", "v.1 (3).3gp"}},
    };
    for (const auto& clash : clashes) {
        for (int copy = 0; copy < 3; ++copy) {
            AddItem(clash.group, clash.path, true, "copy " + std::to_string(copy));
        }
    }
    // A file already in a group folder is never replaced; its name is skipped.
    WriteFile(output / "MOV (3)" / "IMG (2).MOV", "already there");
    auto recovery = Context(output);
    RecoveryWorker(recovery);

    for (const auto& clash : clashes) {
        const fs::path folder =
            output / fs::path(results.labels[static_cast<std::size_t>(clash.group)]);
        for (int copy = 0; copy < 3; ++copy) {
            std::string name = clash.written[static_cast<std::size_t>(copy)];
            if (clash.group == kMov && copy > 0) {
                name = copy == 1 ? "IMG (3).MOV" : "IMG (4).MOV";
            }
            EXPECT_EQ(ReadFile(folder / name), "copy " + std::to_string(copy)) << folder / name;
        }
    }
    EXPECT_EQ(ReadFile(output / "MOV (3)" / "IMG (2).MOV"), "already there");
    EXPECT_EQ(recovery.outcome.written, 18);
    EXPECT_TRUE(recovery.outcome.failures.empty());
    EXPECT_EQ(RecoverySummary(recovery.outcome),
              u"Recovering finished, 18 files have been recovered.");
}

TEST_F(RecoveryTest, FailedCopiesAreCountedAsHandledButReportedAsNotCopied) {
    AddItem(kMov, u"Media/DCIM/missing.MOV", true, "");
    MediaItem& folderAsSource = AddItem(kMov, u"Media/DCIM/folder.MOV", true);
    fs::remove(folderAsSource.file.path);
    fs::create_directories(folderAsSource.file.path);
    AddItem(kMov, u"Media/DCIM/good.MOV", true, "fine");
    AddItem(kMp4, u"Media/big.mp4", true, std::string(64 * 1024, 'x'));
    auto recovery = Context(output);
    {
        const test::FileSizeLimit fullDisk(16 * 1024);
        RecoveryWorker(recovery);
    }

    EXPECT_EQ(results.done, 4);  // progress still advances per handled item
    EXPECT_EQ(observer.Progress(), (std::vector<int>{25, 50, 75, 100}));
    EXPECT_EQ(recovery.outcome.written, 1);
    ASSERT_EQ(recovery.outcome.failures.size(), 3u);
    const auto& failures = recovery.outcome.failures;
    EXPECT_EQ(failures[0].cause, FailureCause::SourceUnreadable);
    EXPECT_EQ(failures[0].error, std::errc::no_such_file_or_directory);
    EXPECT_EQ(failures[1].cause, FailureCause::SourceUnreadable);
    EXPECT_EQ(failures[2].cause, FailureCause::DestinationFailed);  // the disk was full
    EXPECT_EQ(failures[2].error, std::errc::file_too_large);
    EXPECT_FALSE(fs::exists(failures[2].destination)) << "no partial file is left";
    EXPECT_EQ(ReadFile(output / "MOV (3)" / "good.MOV"), "fine");
    EXPECT_EQ(RecoverySummary(recovery.outcome),
              u"Recovering finished, 1 files have been recovered, 3 could not be copied.");
    EXPECT_EQ(DescribeFailure(failures[0]),
              failures[0].source.string() +
                  ": the stored file could not be read (No such file or directory)");
}

TEST_F(RecoveryTest, AnOutputFolderThatBecomesReadOnlyFailsEveryCopyIntoIt) {
    AddItem(kJpg, u"0001.jpg", true);
    AddItem(kMov, u"clip.mov", true);
    auto recovery = Context(output);
    const test::UnwritableFolder readOnly(output);
    if (!readOnly.Active()) {
        GTEST_SKIP() << "this file system cannot make a folder read-only";
    }
    RecoveryWorker(recovery);

    EXPECT_EQ(results.done, 2);
    EXPECT_EQ(recovery.outcome.written, 0);
    ASSERT_EQ(recovery.outcome.failures.size(), 2u);
    EXPECT_EQ(recovery.outcome.failures[0].cause, FailureCause::DestinationFailed);
    EXPECT_TRUE(fs::is_empty(output));
}

TEST_F(RecoveryTest, BmpItemsAreWrittenUnderTheirOwnFileName) {
    const MediaItem& bmp = AddItem(kBmp, u"Library/Caches/Snapshots/scene.bmp", true);
    auto recovery = Context(output);

    EXPECT_EQ(RecoverGroup(recovery, kBmp), 1);
    EXPECT_EQ(ReadFile(output / "BMP (1)" / "scene.bmp"), ReadFile(bmp.file.path));
}

TEST_F(RecoveryTest, PhotoStreamPngTickedInTwoGroupsIsWrittenOncePerGroup) {
    const MediaItem& stream = AddItem(kPhotoStream, u"0001.jpg", true, "\x89PNG picture");
    MediaItem& png = AddItem(kPng, u"0001.png", true);
    png.file = stream.file;
    auto recovery = Context(output);

    RecoveryWorker(recovery);

    EXPECT_EQ(ReadFile(output / "PhotoStream (1)" / "0001.jpg"), "\x89PNG picture");
    EXPECT_EQ(ReadFile(output / "PNG (1)" / "0001.png"), "\x89PNG picture");
    EXPECT_EQ(results.done, 2);
}

struct HostileName {
    int group;
    std::u16string displayName;
    std::string expected;  // file name inside the group folder
};

TEST_F(RecoveryTest, HostileNamesStayInsideTheirGroupFolder) {
    const std::vector<HostileName> cases = {
        {kMov, u"..", "unnamed"},
        {kMov, u"../../../escape.mov", "escape.mov"},
        {kMov, u"/etc/absolute.mov", "absolute.mov"},
        {kMov, u"..\\..\\back.mov", ".._.._back.mov"},
        {kMov, u"C:\\Windows\\drive.mov", "C__Windows_drive.mov"},
        {kMov, u"a<b>c:d\"e|f?g*h.mov", "a_b_c_d_e_f_g_h.mov"},
        {kMov, u"tab\tnew\nline.mov", "tab_new_line.mov"},
        {kMov, u"trailing. . ", "trailing"},
        {kMov, u"CON", "_CON"},
        {kMov, u"dir/nul.mov", "_nul.mov"},
        {kMov, u"com7 .x", "_com7 .x"},
        {kMov, u"lone\xD800surrogate.mov", "lone_surrogate.mov"},
        {kGif, u"../../escape.gif", ".._.._escape.gif"},
        {kGif, u"/abs/olute.gif", "_abs_olute.gif"},
        {kGif, u".", "unnamed"},
        {kGif, u"LPT1.gif", "_LPT1.gif"},
        {kBmp, u"dir/", "unnamed"},
        {kBmp, u"a/../../up.bmp", "up.bmp"},
    };
    std::vector<const MediaItem*> items;
    for (const auto& hostile : cases) {
        items.push_back(&AddItem(hostile.group, hostile.displayName, true));
    }
    auto recovery = Context(output);
    RecoveryWorker(recovery);

    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto group = static_cast<std::size_t>(cases[i].group);
        // Every item is ticked, so the ticked count equals the scan's count in the label.
        const fs::path expected = output / fs::path(results.labels[group]) / cases[i].expected;
        SCOPED_TRACE(cases[i].expected);
        ASSERT_TRUE(fs::exists(expected));
        EXPECT_EQ(ReadFile(expected), ReadFile(items[i]->file.path));
    }
    // Nothing was written anywhere but directly inside a group folder.
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
        if (entry.is_regular_file() && entry.path().parent_path() != backup) {
            EXPECT_EQ(entry.path().parent_path().parent_path(), output) << entry.path();
        }
    }
}

TEST_F(RecoveryTest, BackupFolderIsLeftUnchanged) {
    const MediaItem& photo = AddItem(kCameraRoll, u"0001.jpg", true);
    const MediaItem& clip = AddItem(kM4a, u"Media/Recordings/memo.m4a", true);
    const std::vector<fs::path> sources = {photo.file.path, clip.file.path};
    std::vector<std::string> contents;
    std::vector<fs::file_time_type> times;
    for (const auto& source : sources) {
        contents.push_back(ReadFile(source));
        times.push_back(fs::last_write_time(source));
    }
    auto recovery = Context(output);
    RecoveryWorker(recovery);
    RecoveryWorker(recovery);  // the second run writes numbered copies beside the first's

    for (std::size_t i = 0; i < sources.size(); ++i) {
        EXPECT_EQ(ReadFile(sources[i]), contents[i]);
        EXPECT_EQ(fs::last_write_time(sources[i]), times[i]);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(backup), fs::directory_iterator()), 2);
}

TEST_F(RecoveryTest, RecoveringTwiceIntoNewFoldersWritesBothAndRestartsDone) {
    const MediaItem& item = AddItem(k3gp, u"Media/clip.3gp", true);
    auto firstRun = Context(dir / "PXHVN20131115071110");
    auto secondRun = Context(dir / "PXHVN20131115071111");

    RecoveryWorker(firstRun);
    RecoveryWorker(secondRun);

    EXPECT_EQ(ReadFile(firstRun.outputFolder / "3GP (1)" / "clip.3gp"), ReadFile(item.file.path));
    EXPECT_EQ(ReadFile(secondRun.outputFolder / "3GP (1)" / "clip.3gp"), ReadFile(item.file.path));
    EXPECT_EQ(results.done, 1);
    EXPECT_EQ(observer.Finished().size(), 2u);
}

TEST_F(RecoveryTest, OutputFolderIsNamedByLocalTimeAndSameSecondRunsGetTheirOwn) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::string before = platform::FormatCivilTime(platform::LocalNow(), "%Y%m%d%H%M%S");
        const fs::path first = MakeOutputFolder(dir.path()).path;
        const fs::path second = MakeOutputFolder(dir.path()).path;
        const std::string after = platform::FormatCivilTime(platform::LocalNow(), "%Y%m%d%H%M%S");
        if (before != after) {
            continue;  // the clock ticked between the two: try again
        }
        EXPECT_EQ(first, dir / ("PXHVN" + before));
        EXPECT_EQ(second, dir / ("PXHVN" + before + "-2"));
        EXPECT_TRUE(fs::is_directory(first));
        EXPECT_TRUE(fs::is_directory(second));
        return;
    }
    FAIL() << "the clock never held still for two folder creations";
}

TEST_F(RecoveryTest, NoOutputFolderInAMissingFileOrReadOnlyTarget) {
    WriteFile(dir / "file", "not a folder");
    EXPECT_EQ(MakeOutputFolder(dir / "missing").error, std::errc::no_such_file_or_directory);
    EXPECT_EQ(MakeOutputFolder(dir / "file").error, std::errc::not_a_directory);
    EXPECT_TRUE(MakeOutputFolder(dir / "missing").path.empty());
    EXPECT_FALSE(fs::exists(dir / "missing"));

    fs::create_directories(dir / "readonly");
    const test::UnwritableFolder readOnly(dir / "readonly");
    if (!readOnly.Active()) {
        GTEST_SKIP() << "this file system cannot make a folder read-only";
    }
    const OutputFolder refused = MakeOutputFolder(dir / "readonly");
    EXPECT_TRUE(refused.path.empty());
    EXPECT_TRUE(refused.error);
    EXPECT_TRUE(fs::is_empty(dir / "readonly"));
}

TEST_F(RecoveryTest, CountsTicksOnlyInGroupsWithResults) {
    AddItem(kJpg, u"0001.jpg", true);
    AddItem(kJpg, u"0002.jpg", false);
    AddItem(kMov, u"a.mov", true);
    AddItem(kGif, u"0001.gif", true);
    results.hasResults[kGif] = false;

    EXPECT_EQ(CountCheckedItems(results), 2);
}

// Three items, the middle one unticked; the observer pauses the worker after the first copy.
class PausedRecoveryTest : public RecoveryTest {
protected:
    PausedRecoveryTest() {
        AddItem(kMov, u"one.mov", true);
        AddItem(kMov, u"two.mov", false);
        AddItem(kMov, u"three.mov", true);
        AddItem(kMp4, u"later.mp4", true);
        observer.onStatus = [this](int statuses) {
            if (statuses == 1) {
                control.run.Reset();
                paused_.set_value();
            }
        };
    }

    void StartAndWaitForPause(RecoveryContext& recovery) {
        ASSERT_TRUE(worker.Start(control, [&recovery] { RecoveryWorker(recovery); }));
        paused_.get_future().wait();
    }

    fs::path MovFolder() const { return output / "MOV (2)"; }

    WorkerThread worker;

private:
    std::promise<void> paused_;
};

TEST_F(PausedRecoveryTest, PauseHoldsBeforeTheNextItemEvenAnUntickedOne) {
    auto recovery = Context(output);
    StartAndWaitForPause(recovery);

    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(results.done, 1);
    // Ticked while paused: a worker that held before this item now copies it.
    results.groups[kMov][1]->checked = 1;
    control.run.Set();
    worker.Join();

    EXPECT_TRUE(fs::exists(MovFolder() / "two.mov"));
    EXPECT_TRUE(fs::exists(MovFolder() / "three.mov"));
    EXPECT_EQ(results.done, 4);
}

TEST_F(PausedRecoveryTest, StopWhilePausedEndsAtOnceAndKeepsCopiedFiles) {
    auto recovery = Context(output);
    StartAndWaitForPause(recovery);

    WorkerThread::RequestStop(control);
    worker.Join();

    EXPECT_TRUE(fs::exists(MovFolder() / "one.mov"));
    EXPECT_FALSE(fs::exists(MovFolder() / "three.mov"));
    EXPECT_FALSE(fs::exists(output / "MP4 (1)"));
    EXPECT_EQ(results.done, 1);
    EXPECT_EQ(observer.Finished(), std::vector<int>{kOperationRecovering});
}

}  // namespace
}  // namespace pixhaven::backup
