#include "ui/windowmessage.h"

#include <QCoreApplication>
#include <QThread>

namespace pixhaven::ui {

WindowMessageEvent::WindowMessageEvent(int message, quintptr wParam, qintptr lParam)
    : QEvent(EventType()), message_(message), wParam_(wParam), lParam_(lParam) {}

QEvent::Type WindowMessageEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void PostWindowMessage(QObject* target, int message, quintptr wParam, qintptr lParam) {
    QCoreApplication::postEvent(target, new WindowMessageEvent(message, wParam, lParam));
}

void SendWindowMessage(QObject* target, int message, quintptr wParam, qintptr lParam) {
    if (target->thread() == QThread::currentThread()) {
        WindowMessageEvent event(message, wParam, lParam);
        QCoreApplication::sendEvent(target, &event);
        return;
    }
    QMetaObject::invokeMethod(
        target,
        [target, message, wParam, lParam] {
            WindowMessageEvent event(message, wParam, lParam);
            QCoreApplication::sendEvent(target, &event);
        },
        Qt::BlockingQueuedConnection);
}

}  // namespace pixhaven::ui
