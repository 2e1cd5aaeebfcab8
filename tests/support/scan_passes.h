// What the scan's counting and collecting passes write to and report to, set running: for tests
// that call the passes themselves on a hand-made backup.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "backup/manifest.h"
#include "backup/media.h"
#include "backup/scan.h"
#include "backup/worker.h"
#include "tests/support/fake_observer.h"
#include "tests/support/fake_pictures.h"

namespace pixhaven::test {

struct ScanPasses {
    ScanPasses() { control.run.Set(); }

    backup::ScanContext Context(const backup::Manifest& manifest,
                                const std::filesystem::path& folder) {
        return {manifest, folder, results, control, observer, pictures, nullptr};
    }
    // The display names of a group's items, in order.
    std::vector<std::u16string> Names(int group) const {
        std::vector<std::u16string> names;
        for (const auto& item : results.groups[static_cast<std::size_t>(group)]) {
            names.push_back(item->displayName);
        }
        return names;
    }

    backup::ScanResults results;
    backup::WorkerControl control;
    FakeObserver observer;
    FakePictures pictures;
};

}  // namespace pixhaven::test
