// Reports of the scan and recovery workers, carried to the main window's thread as blocking calls.
#include "ui/windowviewer.h"

#include <QThread>

#include "ui/threadhandoff.h"
#include "ui/windowmessage.h"

namespace pixhaven::ui {

WindowViewer::WindowViewer(QObject& window, WorkerView& view) : window_(window), view_(view) {}

template <typename Report>
void WindowViewer::RunOnWindow(Report report) {
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

void WindowViewer::ShowProgress(int percent) {
    RunOnWindow([this, percent] { view_.SetProgress(percent); });
}

void WindowViewer::ShowStatus(const std::u16string& text) {
    const QString status = QString::fromStdU16String(text);
    RunOnWindow([this, status] { view_.SetStatusText(status); });
}

void WindowViewer::LabelGroup(int group, const std::u16string& text) {
    const QString label = QString::fromStdU16String(text);
    RunOnWindow([this, group, label] { view_.SetGroupLabel(group, label); });
}

void WindowViewer::ShowPauseAndStop() {
    RunOnWindow([this] { view_.ShowPauseAndStop(); });
}

void WindowViewer::PostFinished(int message) {
    PostWindowMessage(&window_, message);
}

}  // namespace pixhaven::ui
