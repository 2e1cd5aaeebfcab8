// A manual-reset event: once set it stays set, releasing every waiter, until it is reset.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace pixhaven::platform {

class ManualResetEvent {
public:
    explicit ManualResetEvent(bool initiallySet = false) : set_(initiallySet) {}
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    void Wait() const;
    // True when the event was set within the timeout.
    bool WaitFor(std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool set_;
};

}  // namespace pixhaven::platform
