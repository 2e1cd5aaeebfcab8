#include "ui/windowmessage.h"

#include <QCoreApplication>
#include <QThread>
#include <memory>

#include "ui/threadhandoff.h"

namespace pixhaven::ui {

WindowMessageEvent::WindowMessageEvent(int message, quintptr wParam, qintptr lParam)
    : QEvent(EventType()), message_(message), wParam_(wParam), lParam_(lParam) {}

QEvent::Type WindowMessageEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

const WindowMessageEvent* WindowMessageEvent::From(const QEvent* event) {
    ReceiveHandoff();  // it may come from another thread, type and all
    if (event->type() != EventType()) {
        return nullptr;
    }
    return static_cast<const WindowMessageEvent*>(event);
}

void PostWindowMessage(QObject* target, int message, quintptr wParam, qintptr lParam) {
    auto event = std::make_unique<WindowMessageEvent>(message, wParam, lParam);
    SendHandoff();
    QCoreApplication::postEvent(target, event.release());
}

void SendWindowMessage(QObject* target, int message, quintptr wParam, qintptr lParam) {
    if (target->thread() == QThread::currentThread()) {
        WindowMessageEvent event(message, wParam, lParam);
        QCoreApplication::sendEvent(target, &event);
        return;
    }
    InvokeOnThreadOfAndWait(target, [target, message, wParam, lParam] {
        WindowMessageEvent event(message, wParam, lParam);
        QCoreApplication::sendEvent(target, &event);
    });
}

}  // namespace pixhaven::ui
