// Stands in for the main window in UI tests: keeps every window message its children send.
#pragma once

#include <QWidget>
#include <vector>

#include "ui/windowmessage.h"

namespace pixhaven::test {

struct Message {
    int message;
    quintptr wParam;
    qintptr lParam;
    bool operator==(const Message&) const = default;
};

class MessageRecorder : public QWidget {
public:
    std::vector<Message> messages;

protected:
    bool event(QEvent* event) override {
        if (event->type() != ui::WindowMessageEvent::EventType()) {
            return QWidget::event(event);
        }
        const auto& message = static_cast<const ui::WindowMessageEvent&>(*event);
        messages.push_back({message.Message(), message.WParam(), message.LParam()});
        return true;
    }
};

}  // namespace pixhaven::test
