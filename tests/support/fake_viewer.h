// A worker viewer for tests: records every call a scan or recovery makes, in one ordered log, and
// lets a test act from inside a report (pause or stop the worker at a chosen moment).
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "backup/worker.h"

namespace pixhaven::test {

// One call the worker made on its viewer.
struct ViewerCall {
    enum class Kind { Progress, Status, Label, PauseAndStop, Finished };

    Kind kind = Kind::Progress;
    int number = 0;       // percent, group or message; 0 for status and pause-and-stop
    std::u16string text;  // status or label text

    static ViewerCall Progress(int percent) { return {Kind::Progress, percent, {}}; }
    static ViewerCall Status(std::u16string status) { return {Kind::Status, 0, std::move(status)}; }
    static ViewerCall Label(int group, std::u16string label) {
        return {Kind::Label, group, std::move(label)};
    }
    static ViewerCall PauseAndStop() { return {Kind::PauseAndStop, 0, {}}; }
    static ViewerCall Finished(int message) { return {Kind::Finished, message, {}}; }

    bool operator==(const ViewerCall&) const = default;
};

// Readable failure messages: "label 3 JPG (2)"; characters beyond ASCII print as '?'.
inline std::ostream& operator<<(std::ostream& out, const ViewerCall& call) {
    static constexpr std::array<const char*, 5> kNames = {"progress", "status", "label",
                                                          "pause-stop", "finished"};
    out << kNames[static_cast<std::size_t>(call.kind)];
    if (call.kind != ViewerCall::Kind::Status && call.kind != ViewerCall::Kind::PauseAndStop) {
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

class FakeViewer : public backup::WorkerViewer {
public:
    // Hooks run on the worker's thread after the call is recorded, outside the viewer's lock; each
    // gets how many calls of its kind were made so far (1 on the first).
    std::function<void(int reports)> onProgress;
    std::function<void(int statuses)> onStatus;
    std::function<void(int labels)> onLabel;

    void ShowProgress(int percent) override {
        Notify(onProgress, Record(ViewerCall::Progress(percent)));
    }
    void ShowStatus(const std::u16string& text) override {
        Notify(onStatus, Record(ViewerCall::Status(text)));
    }
    void LabelGroup(int group, const std::u16string& text) override {
        Notify(onLabel, Record(ViewerCall::Label(group, text)));
    }
    void ShowPauseAndStop() override { Record(ViewerCall::PauseAndStop()); }
    void PostFinished(int message) override { Record(ViewerCall::Finished(message)); }

    // Every call in the order the worker made it.
    std::vector<ViewerCall> Calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

    std::vector<int> Progress() const { return NumbersOf(ViewerCall::Kind::Progress); }
    std::vector<std::u16string> Statuses() const {
        std::vector<std::u16string> statuses;
        for (auto& call : CallsOf(ViewerCall::Kind::Status)) {
            statuses.push_back(std::move(call.text));
        }
        return statuses;
    }
    std::vector<std::pair<int, std::u16string>> Labels() const {
        std::vector<std::pair<int, std::u16string>> labels;
        for (auto& call : CallsOf(ViewerCall::Kind::Label)) {
            labels.emplace_back(call.number, std::move(call.text));
        }
        return labels;
    }
    int PauseAndStopShown() const { return Count(ViewerCall::Kind::PauseAndStop); }
    std::vector<int> Finished() const { return NumbersOf(ViewerCall::Kind::Finished); }

private:
    // Returns how many calls of this kind there are now.
    int Record(ViewerCall call) {
        std::lock_guard lock(mutex_);
        const int count = ++counts_[static_cast<std::size_t>(call.kind)];
        calls_.push_back(std::move(call));
        return count;
    }
    static void Notify(const std::function<void(int)>& hook, int count) {
        if (hook) {
            hook(count);
        }
    }
    int Count(ViewerCall::Kind kind) const {
        std::lock_guard lock(mutex_);
        return counts_[static_cast<std::size_t>(kind)];
    }
    std::vector<ViewerCall> CallsOf(ViewerCall::Kind kind) const {
        std::vector<ViewerCall> matching;
        for (auto& call : Calls()) {
            if (call.kind == kind) {
                matching.push_back(std::move(call));
            }
        }
        return matching;
    }
    std::vector<int> NumbersOf(ViewerCall::Kind kind) const {
        std::vector<int> numbers;
        for (const auto& call : CallsOf(kind)) {
            numbers.push_back(call.number);
        }
        return numbers;
    }

    mutable std::mutex mutex_;
    std::vector<ViewerCall> calls_;
    std::array<int, 5> counts_{};
};

}  // namespace pixhaven::test
