// Window messages as Qt events: the program's message numbers stay, Qt's event queue carries them.
#pragma once

#include <QEvent>
#include <QObject>

namespace pixhaven::ui {

class WindowMessageEvent : public QEvent {
public:
    WindowMessageEvent(int message, quintptr wParam, qintptr lParam);

    // The event type all window messages share, registered with Qt once.
    static QEvent::Type EventType();
    // The message `event` carries, none for other events.
    static const WindowMessageEvent* From(const QEvent* event);

    int Message() const { return message_; }
    quintptr WParam() const { return wParam_; }
    qintptr LParam() const { return lParam_; }

private:
    int message_;
    quintptr wParam_;
    qintptr lParam_;
};

// Queues the message for `target`'s thread and returns at once (PostMessage).
void PostWindowMessage(QObject* target, int message, quintptr wParam = 0, qintptr lParam = 0);

// Delivers the message and returns when `target` has handled it (SendMessage): directly on the
// target's own thread, otherwise as a blocking queued call. The target's thread must not be
// waiting for the caller.
void SendWindowMessage(QObject* target, int message, quintptr wParam = 0, qintptr lParam = 0);

}  // namespace pixhaven::ui
