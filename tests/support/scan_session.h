// One scan and recovery of a manifest through the real workers, as the window runs them, without
// pictures: for tests that compare what a backup gives.
#pragma once

#include <filesystem>
#include <memory>
#include <utility>

#include "backup/workers.h"
#include "tests/support/fake_viewer.h"

namespace pixhaven::test {

class NoPictures : public backup::PictureFactory {
public:
    std::unique_ptr<backup::PictureSource> Make(const std::filesystem::path&) override {
        return nullptr;
    }
};

struct ScanSession {
    explicit ScanSession(backup::Manifest read) : manifest(std::move(read)) {}

    backup::Manifest manifest;
    backup::ScanResults results;
    backup::WorkerControl control;
    FakeViewer viewer;
    NoPictures pictures;
    backup::RecoveryOutcome recovered;  // of the last RecoverEverything

    void Scan(const std::filesystem::path& folder) {
        control.run.Set();
        backup::ScanContext scan{manifest, folder, results, control, viewer, pictures};
        backup::ScanWorker(scan);
    }

    // Ticks every item and recovers into a new output folder under `target`; returns that folder.
    std::filesystem::path RecoverEverything(const std::filesystem::path& target) {
        for (auto& group : results.groups) {
            for (auto& item : group) {
                item->checked = 1;
            }
        }
        std::filesystem::create_directories(target);
        backup::RecoveryContext recovery{
            results, backup::MakeOutputFolder(target).path, control, viewer, 0, {}};
        backup::RecoveryWorker(recovery);
        recovered = recovery.outcome;
        return recovery.outputFolder;
    }
};

}  // namespace pixhaven::test
