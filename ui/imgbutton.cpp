// An image button cut from a horizontal strip of frames. The button is a transparent child, so
// each frame's alpha blends over whatever its parent painted beneath it.
#include "ui/imgbutton.h"

#include <QEnterEvent>
#include <QPainter>
#include <algorithm>

#include "ui/programfolders.h"

namespace pixhaven::ui {
namespace {

QString HighDensityName(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot < 0 ? fileName + QStringLiteral("@2x")
                   : fileName.left(dot) + QStringLiteral("@2x") + fileName.mid(dot);
}

}  // namespace

QPoint PlaceFromEdges(QSize parentSize, QSize size, int x, int y) {
    return {x < 0 ? parentSize.width() - size.width() + x : x,
            y < 0 ? parentSize.height() - size.height() + y : y};
}

CImgButton::CImgButton(QWidget* parent, int controlId)
    : QAbstractButton(parent), controlId_(controlId) {
    setObjectName(QString::number(controlId));
    setProperty("controlId", controlId);
    setFocusPolicy(Qt::NoFocus);
    UpdateCursor();
}

void CImgButton::SetImage(const QString& fileName, int x, int y, int frameCount) {
    // A frame count below one would divide by zero; treat it as a single frame.
    frameCount_ = std::max(1, frameCount);
    strip_ = SkinImage(fileName);
    strip2x_ = SkinImage(HighDensityName(fileName));
    frameSize_ =
        strip_.isNull() ? QSize(0, 0) : QSize(strip_.width() / frameCount_, strip_.height());
    const QSize parentSize = parentWidget() != nullptr ? parentWidget()->size() : QSize();
    setGeometry(QRect(PlaceFromEdges(parentSize, frameSize_, x, y), frameSize_));
    show();
    update();
}

CImgButton* AddImageButton(QWidget& parent, int controlId, const QString& fileName, int x, int y,
                           int frameCount) {
    auto* button = new CImgButton(&parent, controlId);
    button->SetImage(fileName, x, y, frameCount);
    return button;
}

int CImgButton::CurrentFrame() const {
    if (!isEnabled()) {
        // Three-frame strips have no disabled frame; show them as normal.
        return frameCount_ > kDisabled ? kDisabled : kNormal;
    }
    if (isDown()) {
        return kPressed;
    }
    return tracking_ ? kHover : kNormal;
}

QSize CImgButton::sizeHint() const {
    return frameSize_;
}

const QImage& CImgButton::StripForScreen() const {
    const bool dense = devicePixelRatioF() >= 2.0;
    return dense && !strip2x_.isNull() ? strip2x_ : strip_;
}

void CImgButton::paintEvent(QPaintEvent* /*event*/) {
    const QImage& strip = StripForScreen();
    if (strip.isNull() || frameSize_.isEmpty()) {
        return;
    }
    const int frame = std::min(CurrentFrame(), frameCount_ - 1);
    const int sourceWidth = strip.width() / frameCount_;
    const QRect source(frame * sourceWidth, 0, sourceWidth, strip.height());
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!isEnabled() && frameCount_ <= kDisabled) {
        painter.setOpacity(0.45);  // a strip without a disabled frame fades its normal one
    }
    painter.drawImage(rect(), strip, source);
}

void CImgButton::enterEvent(QEnterEvent* event) {
    tracking_ = isEnabled();
    update();
    QAbstractButton::enterEvent(event);
}

void CImgButton::leaveEvent(QEvent* event) {
    tracking_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void CImgButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        if (!isEnabled()) {
            tracking_ = false;
            setDown(false);
        }
        UpdateCursor();
        update();
    }
    QAbstractButton::changeEvent(event);
}

void CImgButton::UpdateCursor() {
    if (isEnabled()) {
        setCursor(Qt::PointingHandCursor);
    } else {
        unsetCursor();
    }
}

}  // namespace pixhaven::ui
