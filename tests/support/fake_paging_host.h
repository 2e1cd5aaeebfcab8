// Stands in for the main window as the host of a photo pane: keeps the page texts, the paging
// state and every message the pane sends.
#pragma once

#include <QString>
#include <vector>

#include "tests/support/message_recorder.h"
#include "ui/photoview.h"

namespace pixhaven::test {

class FakePagingHost : public ui::PagingHost {
public:
    void SetPageText(const QString& text) override { pageTexts.push_back(text); }
    void SetPagingEnabled(bool enabled) override { pagingEnabled = enabled; }
    QObject* NotificationTarget() override { return &recorder; }

    std::vector<QString> pageTexts;
    bool pagingEnabled = true;
    MessageRecorder recorder;
};

}  // namespace pixhaven::test
