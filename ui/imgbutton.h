// An image button cut from a horizontal strip of frames: normal, pointer over, pressed and,
// in four-frame strips, disabled (a three-frame strip shows its normal frame faded instead).
#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QString>

namespace pixhaven::ui {

class CImgButton : public QAbstractButton {
    Q_OBJECT
public:
    enum Frame : int { kNormal = 0, kHover = 1, kPressed = 2, kDisabled = 3 };

    // `controlId` becomes the object name and the "controlId" property, so tests find the button.
    explicit CImgButton(QWidget* parent, int controlId = 0);

    // Loads the strip `fileName` from the skin folder, sizes the button to one frame and places
    // it. A negative x or y is measured from the parent's right or bottom edge.
    void SetImage(const QString& fileName, int x, int y, int frameCount);

    int ControlId() const { return controlId_; }
    int FrameCount() const { return frameCount_; }
    bool IsTracking() const { return tracking_; }

    // The frame that painting shows now.
    int CurrentFrame() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    const QImage& StripForScreen() const;
    void UpdateCursor();

    int controlId_;
    int frameCount_ = 1;
    QSize frameSize_;
    QImage strip_;
    QImage strip2x_;  // drawn instead on screens with a device pixel ratio of 2 or more
    bool tracking_ = false;
};

// A button on `parent` showing the strip `fileName`, placed as SetImage places it.
CImgButton* AddImageButton(QWidget& parent, int controlId, const QString& fileName, int x, int y,
                           int frameCount);

// Where a control of `size` lands in a parent of `parentSize` for a requested (x, y): negative
// coordinates count from the right or bottom edge.
QPoint PlaceFromEdges(QSize parentSize, QSize size, int x, int y);

}  // namespace pixhaven::ui
