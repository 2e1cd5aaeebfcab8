// The preview panes: a category's pictures as pages of 100 thumbnail tiles, six to a row. The
// eight panes are one design; PaneDesign holds the few points in which they differ.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "backup/media.h"

namespace pixhaven::ui {

struct PaneDesign {
    int category;          // 0-7, also picks WM_THUMB_CHECK_CHANGED + category
    bool loaderThread;     // false: pictures drawn at each paint (GIF, animated)
    bool fallbackPicture;  // "nopreview.png" for a picture that cannot be drawn
};

// The design of the pane of a photo category (0-7).
const PaneDesign& PaneDesignFor(int category);

// What a pane drives in the window that owns it: the page label, the page-number box and the
// paging controls.
class PagingHost {
public:
    virtual ~PagingHost() = default;
    virtual void SetPageText(const QString& text) = 0;
    virtual void SetPagingEnabled(bool enabled) = 0;
    // The window that receives WM_THUMB_CHECK_CHANGED.
    virtual QObject* NotificationTarget() = 0;
};

class CGroupButtonEx;

class CPhotoViewDlg : public QWidget {
    Q_OBJECT
public:
    // A pane over `items` (borrowed: they outlive the pane), placed at (218, 114) of `parent`.
    CPhotoViewDlg(const PaneDesign& design, std::vector<std::unique_ptr<backup::MediaItem>>& items,
                  PagingHost& host, QWidget* parent);
    ~CPhotoViewDlg() override;  // stops and waits for its loader

    int CurrentPage() const;
    int PageCount() const;
    QString PageText() const;        // "%d/%d"
    QString PageNumberText() const;  // "%d" of the page last chosen with Go, empty before
    // Starts loading the current page's thumbnails, or resumes it (on show).
    void StartLoading();
    // Asks the loader to stop at the next tile (on hide); the page is finished when shown again.
    void StopLoading();
    // The tile with this number on the current page, or nullptr.
    CGroupButtonEx* Tile(int number) const;
    // Sets every tile check box of the current page from its item (after the tree ticked a
    // whole category).
    void RefreshChecks();

protected:
    bool event(QEvent* event) override;  // WM_PAGE_PREV, WM_PAGE_NEXT, WM_PAGE_GOTO

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace pixhaven::ui
