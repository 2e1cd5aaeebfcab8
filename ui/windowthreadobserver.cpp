// Reports of the scan and recovery workers, carried to the main window's thread as blocking calls.
#include "ui/windowthreadobserver.h"

#include <QThread>

#include "ui/threadhandoff.h"
#include "ui/windowmessage.h"
#include "ui/windowmessages.h"

namespace pixhaven::ui {

WindowThreadObserver::WindowThreadObserver(QObject& window, ProgressDisplay& progress,
                                           GroupLabelDisplay& labels)
    : window_(window), progress_(progress), labels_(labels) {}

template <typename Report>
void WindowThreadObserver::RunOnWindow(Report report) {
    if (detached_) {
        return;
    }
    if (window_.thread() == QThread::currentThread()) {
        report();
        return;
    }
    // The report re-checks the mark on the window's thread: a window that detached meanwhile is
    // already tearing the results down and must not be told about them.
    InvokeOnThreadOfAndWait(&window_, [this, report] {
        if (!detached_) {
            report();
        }
    });
}

void WindowThreadObserver::ShowProgress(int percent) {
    RunOnWindow([this, percent] { progress_.SetProgress(percent); });
}

void WindowThreadObserver::ShowStatus(const std::u16string& text) {
    const QString status = QString::fromStdU16String(text);
    RunOnWindow([this, status] { progress_.SetStatusText(status); });
}

void WindowThreadObserver::LabelGroup(int group, const std::u16string& text) {
    const QString label = QString::fromStdU16String(text);
    RunOnWindow([this, group, label] { labels_.SetGroupLabel(group, label); });
}

void WindowThreadObserver::ShowPauseAndStop() {
    RunOnWindow([this] { progress_.ShowPauseAndStop(); });
}

void WindowThreadObserver::ScanFinished() {
    PostWindowMessage(&window_, WM_SCAN_FINISHED);
}

void WindowThreadObserver::RecoveryFinished() {
    PostWindowMessage(&window_, WM_RECOVER_FINISHED);
}

}  // namespace pixhaven::ui
