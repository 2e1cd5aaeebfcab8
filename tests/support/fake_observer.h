// A worker observer for tests: records every call a scan or recovery makes, in one ordered log, and
// lets a test act from inside a report (pause or stop the worker at a chosen moment).
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "backup/worker.h"

namespace pixhaven::test {

// One call the worker made on its observer.
struct ObserverCall {
    enum class Kind { Progress, Status, Label, PauseAndStop, Finished };

    Kind kind = Kind::Progress;
    int number = 0;       // percent, group or finished operation; 0 for status and pause-and-stop
    std::u16string text;  // status or label text

    static ObserverCall Progress(int percent) { return {Kind::Progress, percent, {}}; }
    static ObserverCall Status(std::u16string status) {
        return {Kind::Status, 0, std::move(status)};
    }
    static ObserverCall Label(int group, std::u16string label) {
        return {Kind::Label, group, std::move(label)};
    }
    static ObserverCall PauseAndStop() { return {Kind::PauseAndStop, 0, {}}; }
    static ObserverCall Finished(int operation) { return {Kind::Finished, operation, {}}; }

    bool operator==(const ObserverCall&) const = default;
};

// Readable failure messages: "label 3 JPG (2)"; characters beyond ASCII print as '?'.
inline std::ostream& operator<<(std::ostream& out, const ObserverCall& call) {
    static constexpr std::array<const char*, 5> kNames = {"progress", "status", "label",
                                                          "pause-stop", "finished"};
    out << kNames[static_cast<std::size_t>(call.kind)];
    if (call.kind != ObserverCall::Kind::Status && call.kind != ObserverCall::Kind::PauseAndStop) {
        out << ' ' << call.number;
    }
    if (!call.text.empty()) {
        out << ' ';
        for (const char16_t unit : call.text) {
            out << (unit < 0x80 ? static_cast<char>(unit) : '?');
        }
    }
    return out;
}

class FakeObserver : public backup::WorkerObserver {
public:
    // Hooks run on the worker's thread after the call is recorded, outside the observer's lock;
    // each gets how many calls of its kind were made so far (1 on the first).
    std::function<void(int reports)> onProgress;
    std::function<void(int statuses)> onStatus;
    std::function<void(int labels)> onLabel;

    void ShowProgress(int percent) override {
        Notify(onProgress, Record(ObserverCall::Progress(percent)));
    }
    void ShowStatus(const std::u16string& text) override {
        Notify(onStatus, Record(ObserverCall::Status(text)));
    }
    void LabelGroup(int group, const std::u16string& text) override {
        Notify(onLabel, Record(ObserverCall::Label(group, text)));
    }
    void ShowPauseAndStop() override { Record(ObserverCall::PauseAndStop()); }
    void ScanFinished() override { Record(ObserverCall::Finished(backup::kOperationScanning)); }
    void RecoveryFinished() override {
        Record(ObserverCall::Finished(backup::kOperationRecovering));
    }

    // Every call in the order the worker made it.
    std::vector<ObserverCall> Calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

    std::vector<int> Progress() const { return NumbersOf(ObserverCall::Kind::Progress); }
    std::vector<std::u16string> Statuses() const {
        std::vector<std::u16string> statuses;
        for (auto& call : CallsOf(ObserverCall::Kind::Status)) {
            statuses.push_back(std::move(call.text));
        }
        return statuses;
    }
    std::vector<std::pair<int, std::u16string>> Labels() const {
        std::vector<std::pair<int, std::u16string>> labels;
        for (auto& call : CallsOf(ObserverCall::Kind::Label)) {
            labels.emplace_back(call.number, std::move(call.text));
        }
        return labels;
    }
    int PauseAndStopShown() const { return Count(ObserverCall::Kind::PauseAndStop); }
    // Waits until the worker has told `count` finishes in all.
    void WaitForFinished(std::size_t count) const {
        std::unique_lock lock(mutex_);
        finished_.wait(lock, [this, count] {
            return static_cast<std::size_t>(
                       counts_[static_cast<std::size_t>(ObserverCall::Kind::Finished)]) >= count;
        });
    }
    std::vector<int> Finished() const { return NumbersOf(ObserverCall::Kind::Finished); }

private:
    // Returns how many calls of this kind there are now.
    int Record(ObserverCall call) {
        std::lock_guard lock(mutex_);
        const int count = ++counts_[static_cast<std::size_t>(call.kind)];
        calls_.push_back(std::move(call));
        finished_.notify_all();
        return count;
    }
    static void Notify(const std::function<void(int)>& hook, int count) {
        if (hook) {
            hook(count);
        }
    }
    int Count(ObserverCall::Kind kind) const {
        std::lock_guard lock(mutex_);
        return counts_[static_cast<std::size_t>(kind)];
    }
    std::vector<ObserverCall> CallsOf(ObserverCall::Kind kind) const {
        std::vector<ObserverCall> matching;
        for (auto& call : Calls()) {
            if (call.kind == kind) {
                matching.push_back(std::move(call));
            }
        }
        return matching;
    }
    std::vector<int> NumbersOf(ObserverCall::Kind kind) const {
        std::vector<int> numbers;
        for (const auto& call : CallsOf(kind)) {
            numbers.push_back(call.number);
        }
        return numbers;
    }

    mutable std::mutex mutex_;
    mutable std::condition_variable finished_;
    std::vector<ObserverCall> calls_;
    std::array<int, 5> counts_{};
};

}  // namespace pixhaven::test
