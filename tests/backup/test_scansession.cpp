// The scan session on its own: what opening says, and a worker it starts, holds and ends.
#include <gtest/gtest.h>

#include "backup/scansession.h"
#include "tests/support/scan_session.h"
#include "tests/support/tempdir.h"
#include "tools/samplegen/samplegen.h"

namespace pixhaven::backup {
namespace {

namespace fs = std::filesystem;

TEST(ScanSession, OpeningSaysWhyThereIsNoSession) {
    test::TempDir dir;
    test::FakeObserver observer;
    test::NoPictures pictures;
    fs::create_directories(dir / "empty");
    const ScanSession::Opened none = ScanSession::Open(dir / "empty", observer, pictures);
    EXPECT_EQ(none.session, nullptr);
    EXPECT_EQ(none.problem, ManifestProblem::Unreadable);
}

TEST(ScanSession, ScansHoldsStopsAndRefusesAMissingTarget) {
    test::TempDir dir;
    samplegen::SampleOptions options;
    options.out = dir / "root";
    options.preset = samplegen::SamplePreset::Small;
    const samplegen::BackupReport backup = samplegen::GenerateSampleRoot(options).backups.front();
    test::FakeObserver observer;
    test::NoPictures pictures;
    ScanSession::Opened opened = ScanSession::Open(backup.folder, observer, pictures);
    ASSERT_NE(opened.session, nullptr);
    ScanSession& session = *opened.session;

    // Paused before it starts, the worker holds at its first file until stopped.
    session.StartScan();
    session.Pause();
    EXPECT_TRUE(session.Paused());
    EXPECT_EQ(session.CurrentOperation(), kOperationScanning);
    session.Stop();
    observer.WaitForFinished(1);
    session.FinishWorker();
    EXPECT_FALSE(session.WorkerRunning());
    EXPECT_EQ(session.CurrentOperation(), kOperationNone);

    const OutputFolder refused = session.StartRecovery(dir / "missing");
    EXPECT_TRUE(refused.path.empty());
    EXPECT_FALSE(session.WorkerRunning());
    EXPECT_EQ(session.LastRecovery(), nullptr);
    EXPECT_EQ(observer.Finished(), std::vector<int>{kOperationScanning});
}

}  // namespace
}  // namespace pixhaven::backup
