// The scan and recovery thread bodies (group order, stopping, finished messages) and the worker
// thread that runs them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "backup/workers.h"
#include "tests/support/fake_observer.h"
#include "tests/support/fake_pictures.h"
#include "tests/support/tempdir.h"
#include "tools/samplegen/mbdb_writer.h"

namespace pixhaven::backup {
namespace {

namespace fs = std::filesystem;
using test::ObserverCall;
using test::TempDir;
using test::WriteFile;

// The groups labelled, in the order the worker labelled them.
std::vector<int> LabelledGroups(const test::FakeObserver& observer) {
    std::vector<int> groups;
    for (const auto& label : observer.Labels()) {
        groups.push_back(label.first);
    }
    return groups;
}

// The file names each status reported, in order (test names are ASCII).
std::vector<std::string> StatusFileNames(const test::FakeObserver& observer) {
    std::vector<std::string> names;
    for (const auto& status : observer.Statuses()) {
        names.push_back(fs::path(status).filename().string());
    }
    return names;
}

const ObserverCall kScanFinished = ObserverCall::Finished(kOperationScanning);
const ObserverCall kRecoverFinished = ObserverCall::Finished(kOperationRecovering);

class ScanWorkerTest : public ::testing::Test {
protected:
    ScanWorkerTest() { control.run.Set(); }

    // Audio and video records only: their groups take every match without opening the files.
    Manifest MakeManifest(const std::vector<std::string>& paths) {
        std::vector<samplegen::MbdbEntry> entries;
        for (const auto& path : paths) {
            samplegen::MbdbEntry entry;
            entry.domain = "MediaDomain";
            entry.path = path;
            entry.size = 100;
            entries.push_back(entry);
        }
        return *ParseManifest(samplegen::EncodeMbdb(entries));
    }

    int Scan(const Manifest& manifest) {
        ScanContext scan{manifest, dir.path(), results, control, observer, pictures, nullptr};
        return ScanWorker(scan);
    }

    TempDir dir;
    ScanResults results;
    WorkerControl control;
    test::FakeObserver observer;
    test::NoPictures pictures;
};

TEST_F(ScanWorkerTest, CountsEverythingThenCollectsInWorkOrderAndPostsOnce) {
    const Manifest manifest =
        MakeManifest({"Media/a.mp3", "Media/b.MOV", "Media/c.mp4", "Media/d.m4a", "Media/e.3gp"});
    results.total = 99;  // left from an earlier scan
    results.done = 7;

    EXPECT_EQ(Scan(manifest), 1);

    EXPECT_EQ(control.operation, kOperationScanning);
    EXPECT_EQ(results.total, 5);
    EXPECT_EQ(results.done, 5);
    const auto calls = observer.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), ObserverCall::PauseAndStop());
    EXPECT_EQ(calls.back(), kScanFinished);
    EXPECT_EQ(LabelledGroups(observer), (std::vector<int>{kMov, kMp4, kMp3, kM4a, k3gp}));
    EXPECT_EQ(observer.Finished().size(), 1u);
}

TEST_F(ScanWorkerTest, StopDuringCollectingEndsTheScanAfterThatGroup) {
    const Manifest manifest = MakeManifest({"Media/a.MOV", "Media/b.mp4", "Media/c.mp3"});
    observer.onLabel = [this](int) { WorkerThread::RequestStop(control); };

    EXPECT_EQ(Scan(manifest), 1);

    EXPECT_EQ(results.groups[kMov].size(), 1u);
    EXPECT_TRUE(results.groups[kMp4].empty());
    EXPECT_TRUE(results.groups[kMp3].empty());
    EXPECT_FALSE(results.hasResults[kMp4]);
    EXPECT_EQ(observer.Calls().back(), kScanFinished);
}

TEST_F(ScanWorkerTest, NothingCountedFinishesRightAfterCounting) {
    const Manifest manifest = MakeManifest({"Library/Preferences/a.plist"});

    Scan(manifest);

    EXPECT_EQ(observer.Calls(),
              (std::vector<ObserverCall>{ObserverCall::PauseAndStop(), kScanFinished}));
}

class RecoveryWorkerTest : public ::testing::Test {
protected:
    RecoveryWorkerTest() { control.run.Set(); }

    void AddTickedItem(int group, const std::string& name) {
        auto item = std::make_unique<MediaItem>();
        item->kind = MediaKind::AudioVideo;
        item->displayName = std::u16string(name.begin(), name.end());
        item->file = dir / "backup" / name;
        WriteFile(item->file.path, name);
        item->checked = 1;
        results.groups[static_cast<std::size_t>(group)].push_back(std::move(item));
        results.hasResults[static_cast<std::size_t>(group)] = true;
    }

    int Recover() {
        RecoveryContext recovery{results, dir / "out", control, observer, 0, {}};
        fs::create_directories(recovery.outputFolder);
        return RecoveryWorker(recovery);
    }

    TempDir dir;
    ScanResults results;
    WorkerControl control;
    test::FakeObserver observer;
};

TEST_F(RecoveryWorkerTest, RecoversGroupsWithResultsInWorkOrder) {
    AddTickedItem(kMp3, "song.mp3");
    AddTickedItem(kMp4, "clip.mp4");
    AddTickedItem(kMov, "movie.mov");
    AddTickedItem(kM4a, "memo.m4a");
    results.hasResults[kM4a] = false;

    EXPECT_EQ(Recover(), 1);

    EXPECT_EQ(control.operation, kOperationRecovering);
    EXPECT_EQ(StatusFileNames(observer),
              (std::vector<std::string>{"movie.mov", "clip.mp4", "song.mp3"}));
    EXPECT_EQ(observer.Progress(), (std::vector<int>{33, 66, 100}));
    EXPECT_TRUE(fs::exists(dir / "out" / "MP4(1)" / "clip.mp4"));  // bare label: no blank
    EXPECT_FALSE(fs::exists(dir / "out" / "M4A(1)"));
    EXPECT_EQ(observer.Calls().back(), kRecoverFinished);
}

TEST_F(RecoveryWorkerTest, StopEndsAtTheGroupInProgressAndPostsOnce) {
    AddTickedItem(kMov, "first.mov");
    AddTickedItem(kMov, "second.mov");
    AddTickedItem(kMp4, "later.mp4");
    // The first copy asks for a stop, as the Stop button would between two files.
    observer.onStatus = [this](int) { WorkerThread::RequestStop(control); };

    Recover();

    EXPECT_EQ(observer.Statuses().size(), 1u);
    EXPECT_EQ(results.done, 1);
    EXPECT_FALSE(fs::exists(dir / "out" / "MP4(1)"));
    EXPECT_EQ(observer.Finished(), std::vector<int>{kOperationRecovering});
}

TEST(WorkerThreadTest, StartSignalsRunClearsStopAndRunsTheBody) {
    WorkerControl control;
    control.stop = kStopRequested;
    WorkerThread worker;
    std::atomic<bool> ran{false};

    ASSERT_TRUE(worker.Start(control, [&] { ran = control.WaitAndCheckStop() == false; }));
    EXPECT_TRUE(worker.Running());
    EXPECT_FALSE(worker.Start(control, [] {}));  // one worker at a time
    worker.Join();

    EXPECT_TRUE(ran);
    EXPECT_FALSE(worker.Running());
    EXPECT_TRUE(control.run.IsSet());
}

TEST(WorkerThreadTest, RequestStopWakesAPausedWorker) {
    WorkerControl control;
    WorkerThread worker;
    platform::ManualResetEvent paused;
    std::atomic<bool> stopped{false};
    ASSERT_TRUE(worker.Start(control, [&] {
        control.run.Reset();  // as Pause would
        paused.Set();
        stopped = control.WaitAndCheckStop();
    }));

    paused.Wait();
    WorkerThread::RequestStop(control);
    worker.Join();

    EXPECT_TRUE(stopped);
}

TEST(WorkerThreadTest, DestructorJoinsAWorkerThatStillRuns) {
    std::atomic<bool> finished{false};
    {
        WorkerControl control;
        WorkerThread worker;
        ASSERT_TRUE(worker.Start(control, [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            finished = true;
        }));
    }
    EXPECT_TRUE(finished);
}

}  // namespace
}  // namespace pixhaven::backup
