// The preview panes: a category's pictures as pages of 100 thumbnail tiles, six to a row. The
// eight panes are one design; PaneDesign holds the few points in which they differ.
#pragma once

#include <QAbstractButton>
#include <QBasicTimer>
#include <QImage>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "backup/media.h"

class QScrollBar;

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
    // The window that receives WM_THUMB_CHECK_CHANGED (wParam: the tile's number).
    virtual QObject* NotificationTarget() = 0;
};

class CPhotoViewDlg;
class GifFrames;

// One thumbnail tile: the picture frame, the file name and a check box bound to the item's
// check flag. A pane creates its tiles once and hands them the items of each page.
class CGroupButtonEx : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 120;
    static constexpr int kHeight = 155;
    static constexpr QRect kPictureFrame{7, 10, 106, 106};  // (7, 10, 113, 116)
    static constexpr QRect kNameBox{27, 129, 92, 16};       // (27, 129, 119, 145)

    CGroupButtonEx(CPhotoViewDlg& pane, int number, QWidget* parent);
    ~CGroupButtonEx() override;

    int Number() const { return number_; }
    backup::MediaItem* Item() const { return item_; }
    // Shows `item` (nullptr while a page is being switched) with its check state.
    void SetItem(backup::MediaItem* item);
    // Puts the check box back in step with the item's flag.
    void RefreshCheck();
    QAbstractButton& CheckBox() const { return *checkBox_; }

    bool IsHovered() const { return hovered_; }
    bool IsSelected() const;
    // GIF tiles: the frame shown now and whether its timer runs.
    int FrameIndex() const { return frameIndex_; }
    bool IsAnimating() const { return animation_.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void PaintBox(QPainter& painter) const;
    void PaintThumbnail(QPainter& painter) const;
    void PaintAnimatedPicture(QPainter& painter);
    void AdvanceFrame();
    void OnCheckClicked(bool checked);

    CPhotoViewDlg& pane_;
    int number_;
    backup::MediaItem* item_ = nullptr;
    QAbstractButton* checkBox_;
    bool hovered_ = false;
    std::unique_ptr<GifFrames> gif_;  // GIF pane: the item's frames, read on first paint
    QRect gifPlace_;
    int frameIndex_ = 0;
    QBasicTimer animation_;
};

class CPhotoViewDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTilesPerPage = 100;
    static constexpr int kWidth = 766;
    static constexpr int kHeightOnePage = 465;
    static constexpr int kHeightPaged = 430;

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

    const PaneDesign& Design() const;
    int TilesOnPage() const;
    bool IsPageLoaded() const;
    bool IsLoading() const;
    // The selected tile's number, -1 for none.
    int SelectedTile() const;
    QScrollBar& ScrollBar() const;

protected:
    bool event(QEvent* event) override;  // WM_PAGE_PREV, WM_PAGE_NEXT, WM_PAGE_GOTO
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    friend class CGroupButtonEx;
    void SelectTile(int number);
    void NotifyCheckChanged(int number);
    const QImage& CheckStrip() const;

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The eight panes are one class; the names of the other seven stay for readers of the design.
using CPhotoViewDlg2 = CPhotoViewDlg;
using CPhotoViewDlg3 = CPhotoViewDlg;
using CPhotoViewDlg4 = CPhotoViewDlg;
using CPhotoViewDlg5 = CPhotoViewDlg;
using CPhotoViewDlg6 = CPhotoViewDlg;
using CPhotoViewDlg7 = CPhotoViewDlg;
using CPhotoViewDlg8 = CPhotoViewDlg;
using CGroupButtonEx2 = CGroupButtonEx;
using CGroupButtonEx3 = CGroupButtonEx;
using CGroupButtonEx4 = CGroupButtonEx;
using CGroupButtonEx5 = CGroupButtonEx;
using CGroupButtonEx6 = CGroupButtonEx;
using CGroupButtonEx7 = CGroupButtonEx;
using CGroupButtonEx8 = CGroupButtonEx;

}  // namespace pixhaven::ui
