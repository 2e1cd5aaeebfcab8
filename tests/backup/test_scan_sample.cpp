// A whole scan over the sample generator's backups: every trap it lays out ends in the groups the
// rules say, and the counters, labels and progress agree with the items collected.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "backup/scan.h"
#include "tests/support/fake_observer.h"
#include "tests/support/fake_pictures.h"
#include "tests/support/tempdir.h"
#include "tools/samplegen/samplegen.h"

namespace pixhaven::backup {
namespace {

using samplegen::Trap;

struct FullScan {
    ScanResults results;
    WorkerControl control;
    test::FakeObserver observer;
    test::NoPictures pictures;
    std::map<std::filesystem::path, std::set<int>> groupsOfFile;

    void Run(const Manifest& manifest, const std::filesystem::path& folder) {
        control.run.Set();
        ScanContext scan{manifest, folder, results, control, observer, pictures, nullptr};
        for (const int group : kGroupWorkOrder) {
            CountGroup(scan, group);
        }
        for (const int group : kGroupWorkOrder) {
            ASSERT_NE(CollectGroup(scan, group), -1);
            for (const auto& item : results.groups[group]) {
                groupsOfFile[item->file.path].insert(group);
            }
        }
    }
    std::set<int> GroupsOf(const std::filesystem::path& file) const {
        const auto found = groupsOfFile.find(file);
        return found == groupsOfFile.end() ? std::set<int>{} : found->second;
    }
};

std::set<int> ExpectedGroups(Trap trap) {
    switch (trap) {
        case Trap::PhotoStreamPng:
            return {kPhotoStream, kPng};
        case Trap::PngWithoutSignature:
        case Trap::PngInFolderName:
            return {kPng};
        case Trap::AttachmentPng:
            return {kAttachment};
        case Trap::AttachmentBmp:  // not an attachment photo, so not excluded from BMP
            return {kBmp};
        case Trap::AttachmentDoubleExtension:
            return {kAttachment};
        case Trap::TiffWithoutSignature:  // the signature is tested only while counting
            return {kTiff};
        case Trap::JpegWithoutEnd:
        case Trap::JpegWithoutSignature:
        case Trap::JpegTooShort:
        case Trap::JpegTrailingBytes:
        case Trap::BmpWithoutSignature:
        case Trap::GifWithoutSignature:
        case Trap::TifExtension:
        case Trap::ZeroSizeMp3:
        case Trap::AbsentPath:
        case Trap::MixedCaseExtension:
            return {};
        case Trap::JpegLongExtension:  // ".jpeg" is never a camera-roll ending
            return {kJpg};
        default:
            return {-1};  // not checked
    }
}

TEST(SampleScan, EveryTrapEndsInTheGroupsTheRulesSay) {
    test::TempDir dir;
    samplegen::SampleOptions options;
    options.out = dir.path();
    options.preset = samplegen::SamplePreset::Small;
    const samplegen::SampleReport report = samplegen::GenerateSampleRoot(options);

    int checkedTraps = 0;
    for (const samplegen::BackupReport& backup : report.backups) {
        const auto manifest = ReadManifest(backup.folder / "Manifest.mbdb");
        // An encrypted copy's stored files are ciphertext until a password opens them.
        if (!manifest || backup.encryption) {
            continue;
        }
        FullScan scan;
        scan.Run(*manifest, backup.folder);
        for (const samplegen::RecordReport& record : backup.records) {
            if (!record.readable || record.content == samplegen::Content::None) {
                continue;
            }
            const std::set<int> expected = ExpectedGroups(record.trap);
            if (expected == std::set<int>{-1}) {
                continue;
            }
            EXPECT_EQ(scan.GroupsOf(backup.StoredFile(record)), expected)
                << record.path.value_or("(no path)") << " " << samplegen::TrapName(record.trap);
            ++checkedTraps;
        }

        int taken = 0;
        for (int group = 0; group < kGroupCount; ++group) {
            const int size = static_cast<int>(scan.results.groups[group].size());
            EXPECT_EQ(scan.results.taken[group], size);
            EXPECT_EQ(scan.results.hasResults[group], size > 0);
            taken += size;
        }
        EXPECT_EQ(scan.results.done, taken);
        EXPECT_EQ(static_cast<int>(scan.observer.Progress().size()), taken);
    }
    EXPECT_GT(checkedTraps, 10);
}

}  // namespace
}  // namespace pixhaven::backup
