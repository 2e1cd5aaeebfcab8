// A worker viewer for tests: records every call a scan or recovery makes, and lets a test act from
// inside a progress report (pause or stop the worker at a chosen moment).
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "backup/worker.h"

namespace pixhaven::test {

class FakeViewer : public backup::WorkerViewer {
public:
    // Runs inside ShowProgress, on the worker's thread, after the percent is recorded; it gets
    // the number of progress reports so far.
    std::function<void(int reports)> onProgress;

    void ShowProgress(int percent) override {
        int reports = 0;
        {
            std::lock_guard lock(mutex_);
            progress_.push_back(percent);
            reports = static_cast<int>(progress_.size());
        }
        if (onProgress) {
            onProgress(reports);
        }
    }
    void ShowStatus(const std::u16string& text) override {
        std::lock_guard lock(mutex_);
        statuses_.push_back(text);
    }
    void LabelGroup(int group, const std::u16string& text) override {
        std::lock_guard lock(mutex_);
        labels_.emplace_back(group, text);
    }
    void ShowPauseAndStop() override {
        std::lock_guard lock(mutex_);
        ++pauseAndStopShown_;
    }
    void PostFinished(int message) override {
        std::lock_guard lock(mutex_);
        finished_.push_back(message);
    }

    std::vector<int> Progress() const {
        std::lock_guard lock(mutex_);
        return progress_;
    }
    std::vector<std::u16string> Statuses() const {
        std::lock_guard lock(mutex_);
        return statuses_;
    }
    std::vector<std::pair<int, std::u16string>> Labels() const {
        std::lock_guard lock(mutex_);
        return labels_;
    }
    int PauseAndStopShown() const {
        std::lock_guard lock(mutex_);
        return pauseAndStopShown_;
    }
    std::vector<int> Finished() const {
        std::lock_guard lock(mutex_);
        return finished_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<int> progress_;
    std::vector<std::u16string> statuses_;
    std::vector<std::pair<int, std::u16string>> labels_;
    int pauseAndStopShown_ = 0;
    std::vector<int> finished_;
};

}  // namespace pixhaven::test
