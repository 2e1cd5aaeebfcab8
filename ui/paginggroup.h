// The paging controls under a preview pane of more than one page: "<<", the page label, ">>", the
// page-number box and "Go", shown and hidden together. The pane drives the label and whether the
// controls may be used; their commands go to the pane of the category last shown.
#pragma once

#include <QObject>
#include <functional>

#include "ui/photoview.h"

class QLineEdit;
class QPushButton;

namespace pixhaven::ui {

class CStaticLink;

class PagingGroup final : public QObject, public PagingHost {
    Q_OBJECT
public:
    // Creates the controls on `window`, hidden; a command goes to the pane `currentPane` gives
    // (none: the command is dropped).
    PagingGroup(QWidget& window, std::function<CPhotoViewDlg*()> currentPane);

    void SetShown(bool shown);
    // The page text of `pane` and the page number last chosen in it.
    void ShowPageOf(const CPhotoViewDlg& pane);

    // PagingHost
    void SetPageText(const QString& text) override;
    void SetPagingEnabled(bool enabled) override;
    QObject* NotificationTarget() override { return &window_; }

private:
    void SendCommand(int message);

    QWidget& window_;
    std::function<CPhotoViewDlg*()> currentPane_;
    // Children of the window, which deletes them.
    QPushButton* prevPage_ = nullptr;
    CStaticLink* pageLabel_ = nullptr;
    QPushButton* nextPage_ = nullptr;
    QLineEdit* pageEdit_ = nullptr;
    QPushButton* goPage_ = nullptr;
};

}  // namespace pixhaven::ui
