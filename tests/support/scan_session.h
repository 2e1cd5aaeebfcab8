// A backup scanned and recovered through the scan session, as the front ends run it, without
// pictures: for tests that compare what a backup gives.
#pragma once

#include <filesystem>
#include <memory>
#include <utility>

#include "backup/scansession.h"
#include "tests/support/fake_observer.h"
#include "tests/support/fake_pictures.h"

namespace pixhaven::test {

struct SessionRun {
    SessionRun(std::filesystem::path folder, backup::Manifest manifest,
               std::shared_ptr<const backup::BackupKeys> keys = nullptr)
        : session(std::move(folder), std::move(manifest), observer, pictures, std::move(keys)),
          results(session.Results()) {}

    FakeObserver observer;
    NoPictures pictures;
    backup::ScanSession session;
    backup::ScanResults& results;
    backup::RecoveryOutcome recovered;  // of the last RecoverEverything

    void Scan() {
        RunToTheEnd([this] { session.StartScan(); });
    }

    // Ticks every item and recovers into a new output folder under `target`; returns that folder.
    std::filesystem::path RecoverEverything(const std::filesystem::path& target) {
        for (auto& group : results.groups) {
            for (auto& item : group) {
                item->checked = 1;
            }
        }
        std::filesystem::create_directories(target);
        RunToTheEnd([this, &target] { session.StartRecovery(target); });
        recovered = *session.LastRecovery();
        return session.RecoveryFolder();
    }

private:
    template <typename Start>
    void RunToTheEnd(Start start) {
        const std::size_t finished = observer.Finished().size();
        start();
        observer.WaitForFinished(finished + 1);
        session.FinishWorker();
    }
};

}  // namespace pixhaven::test
