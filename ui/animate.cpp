// Timer-driven animations. Each owns its timer, so a stray timer of another object never
// advances it.
#include "ui/animate.h"

#include <QPainter>
#include <QTimerEvent>
#include <algorithm>

#include "ui/fontpool.h"
#include "ui/programfolders.h"
#include "ui/staticlabel.h"

namespace pixhaven::ui {

CAnimateStaticBase::CAnimateStaticBase(QWidget* parent, int frameCount, int controlId)
    : QWidget(parent), frameCount_(std::max(1, frameCount)) {
    SetControlId(*this, controlId);
}

void CAnimateStaticBase::Start() {
    if (!running_) {
        timer_.start(std::max(1, periodMs_), this);
        running_ = true;
    }
}

void CAnimateStaticBase::Stop() {
    timer_.stop();
    running_ = false;
}

void CAnimateStaticBase::Tick() {
    frame_ = (frame_ + 1) % frameCount_;
    update();
}

void CAnimateStaticBase::SetFrameCount(int frameCount) {
    frameCount_ = std::max(1, frameCount);
    frame_ = 0;
}

void CAnimateStaticBase::timerEvent(QTimerEvent* event) {
    if (event->timerId() == timer_.timerId()) {
        Tick();
        return;
    }
    QWidget::timerEvent(event);
}

CAnimateImg::CAnimateImg(QWidget* parent, int controlId)
    : CAnimateStaticBase(parent, kFrames, controlId) {}

void CAnimateImg::SetImage(const QString& fileName) {
    strip_ = SkinImage(fileName);
    update();
}

void CAnimateImg::SetBackdrop(const QColor& colour) {
    backdrop_ = colour;
    update();
}

QSize CAnimateImg::FrameSize() const {
    return strip_.isNull() ? QSize(0, 0) : QSize(strip_.width() / kFrames, strip_.height());
}

void CAnimateImg::Place(int x, int y) {
    setGeometry(QRect(QPoint(x, y), FrameSize()));
}

void CAnimateImg::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), backdrop_);
    const QSize frame = FrameSize();
    if (!frame.isEmpty()) {
        painter.drawImage(QPoint(0, 0), strip_, QRect(QPoint(Frame() * frame.width(), 0), frame));
    }
}

CAnimateStr::CAnimateStr(QWidget* parent, int controlId)
    : CAnimateStaticBase(parent, 3, controlId) {}

void CAnimateStr::SetText(const QString& text, int frameCount) {
    text_ = text;
    SetFrameCount(frameCount);
    update();
}

int CAnimateStr::FrameLength() const {
    return static_cast<int>(text_.size()) / FrameCount();
}

QString CAnimateStr::FrameText(int frame) const {
    const int length = FrameLength();
    return text_.mid(static_cast<qsizetype>(frame) * length, length);
}

void CAnimateStr::Place(int x, int y) {
    // The last frame is the widest one in the program's use.
    const QFontMetrics metrics(FontPool().Font(font_code::kLarger));
    const QString last = FrameText(FrameCount() - 1);
    setGeometry(x, y, metrics.horizontalAdvance(last), metrics.height());
}

void CAnimateStr::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setFont(FontPool().Font(font_code::kLarger));
    painter.setPen(Qt::black);
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     FrameText(Frame()));
}

}  // namespace pixhaven::ui
