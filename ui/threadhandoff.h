// Calls carried to a QObject's thread through Qt's event queue, with the order they imply made
// visible to ThreadSanitizer. Qt orders a posted call after everything its sender did before, and
// a blocking call's return after the call; Debian's Qt is not built for the sanitizer, which then
// cannot see those orders and reports our data crossing as races. In other builds the marks are
// nothing.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define PIXHAVEN_THREAD_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define PIXHAVEN_THREAD_SANITIZER 1
#endif

#ifdef PIXHAVEN_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif

namespace pixhaven::ui {

// One token for the whole queue: the marks are read from a constant address, never from the
// carried call, whose bytes are what they order.
inline void* QueueToken() {
    static char token = 0;
    return &token;
}

// Everything this thread wrote so far happens before what follows the next ReceiveHandoff.
inline void SendHandoff() {
#ifdef PIXHAVEN_THREAD_SANITIZER
    __tsan_release(QueueToken());
#endif
}

inline void ReceiveHandoff() {
#ifdef PIXHAVEN_THREAD_SANITIZER
    __tsan_acquire(QueueToken());
#endif
}

// A call carried to another thread. Whichever thread frees it has seen it run: for a blocking
// call that is the caller, which Qt lets free the call before invokeMethod returns.
template <typename Call>
class HandedOffCall {
public:
    explicit HandedOffCall(Call call) : call_(std::move(call)) { SendHandoff(); }
    // Qt moves the call into its own storage inside invokeMethod: that copy is what the other
    // thread reads.
    HandedOffCall(HandedOffCall&& other) noexcept : call_(std::move(other.call_)) { SendHandoff(); }
    HandedOffCall& operator=(HandedOffCall&&) = delete;
    HandedOffCall(const HandedOffCall&) = delete;
    HandedOffCall& operator=(const HandedOffCall&) = delete;
    ~HandedOffCall() { ReceiveHandoff(); }

    void operator()() {
        ReceiveHandoff();
        call_();
        SendHandoff();
    }

private:
    Call call_;
};

// QMetaObject::invokeMethod with the marks: `call` runs on `target`'s thread, queued.
template <typename Call>
void InvokeOnThreadOf(QObject* target, Call call) {
    QMetaObject::invokeMethod(target, HandedOffCall<Call>(std::move(call)), Qt::QueuedConnection);
}

// Runs `call` on `target`'s thread and returns once it has run, or once Qt has dropped it
// (`target` gone). Instead of Qt's blocking connection, the caller waits on a lock of ours, which
// the sanitizer sees. `target`'s thread must not be waiting for this one.
template <typename Call>
void InvokeOnThreadOfAndWait(QObject* target, Call call) {
    struct Completion {
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false;
    };
    // Signals completion when the carried call is freed: after it ran, or when Qt drops it.
    struct Notifier {
        std::shared_ptr<Completion> completion;
        explicit Notifier(std::shared_ptr<Completion> shared) : completion(std::move(shared)) {}
        Notifier(Notifier&&) noexcept = default;
        Notifier(const Notifier&) = delete;
        ~Notifier() {
            if (completion) {
                const std::lock_guard lock(completion->mutex);
                completion->done = true;
                completion->changed.notify_all();
            }
        }
    };
    auto completion = std::make_shared<Completion>();
    InvokeOnThreadOf(
        target, [call = std::move(call), notifier = Notifier(completion)]() mutable { call(); });
    std::unique_lock lock(completion->mutex);
    completion->changed.wait(lock, [&completion] { return completion->done; });
}

}  // namespace pixhaven::ui
