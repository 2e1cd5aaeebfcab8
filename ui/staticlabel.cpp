// Owner-painted static texts. Each fills its own rectangle first, so no desktop style shows.
#include "ui/staticlabel.h"

#include <QMouseEvent>
#include <QPainter>

#include "makerlibs/gildpaint_draw.h"
#include "ui/fontpool.h"
#include "ui/programfolders.h"

namespace pixhaven::ui {
namespace {

const QColor kDeviceNameColor(5, 170, 217);
const QColor kFactColor(80, 80, 80);
const QColor kLinkColor(0, 102, 204);
constexpr int kFactsLeft = 445;
constexpr int kFactTops[] = {181, 213, 241, 268, 299};

QString Text16(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

}  // namespace

void SetControlId(QWidget& widget, int controlId) {
    widget.setObjectName(QString::number(controlId));
    widget.setProperty("controlId", controlId);
}

CStaticLabel::CStaticLabel(QWidget* parent, int controlId)
    : QWidget(parent), font_(get_font(QStringLiteral("Arial"), 15, 400)) {
    SetControlId(*this, controlId);
}

void CStaticLabel::SetText(const QString& text) {
    text_ = text;
    update();
}

void CStaticLabel::SetBkColor(const QColor& color) {
    background_ = color;
    update();
}

QString CStaticLabel::ShownText() const {
    return QFontMetrics(font_).elidedText(text_, Qt::ElideRight, width());
}

void CStaticLabel::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), background_);
    painter.setFont(font_);
    painter.setPen(Qt::black);
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, ShownText());
}

CStaticLink::CStaticLink(QWidget* parent, int controlId) : QWidget(parent) {
    SetControlId(*this, controlId);
}

void CStaticLink::SetText(const QString& text) {
    text_ = text;
    update();
}

void CStaticLink::SetBkColor(const QColor& color) {
    background_ = color;
    update();
}

void CStaticLink::SetTextColor(const QColor& color) {
    textColor_ = color;
    update();
}

void CStaticLink::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), background_);
    painter.setFont(FontPool().Font(font_code::kBase));
    painter.setPen(textColor_);
    painter.drawText(rect(), Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, text_);
}

CStaticLabel1::CStaticLabel1(QWidget* parent, int controlId)
    : QWidget(parent), picture_(SkinImage(QStringLiteral("iInfo.png"))) {
    SetControlId(*this, controlId);
}

void CStaticLabel1::SetBackupInfo(const backup::BackupInfo& info) {
    info_ = info;
    update();
}

void CStaticLabel1::ClearBackupInfo() {
    info_.reset();
    update();
}

void CStaticLabel1::SetBkColor(const QColor& color) {
    background_ = color;
    update();
}

void CStaticLabel1::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), background_);
    if (!picture_.isNull()) {
        painter.drawImage(QPoint(30, 120), picture_);
    }
    if (info_) {
        PaintFacts(painter);
    }
}

void CStaticLabel1::PaintFacts(QPainter& painter) const {
    const QFont& font = FontPool().Font(font_code::kLargerBold);
    const QFontMetrics metrics(font);
    painter.setFont(font);
    painter.setPen(kDeviceNameColor);
    const QRect nameBox(QPoint(kFactsLeft, 152), QPoint(900 - 1, 167 - 1));
    const QString name =
        metrics.elidedText(Text16(info_->deviceName), Qt::ElideRight, nameBox.width());
    painter.drawText(nameBox, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, name);

    painter.setPen(kFactColor);
    const std::u16string* facts[] = {&info_->lastBackupDate, &info_->productVersion,
                                     &info_->serialNumber, &info_->productType,
                                     &info_->itunesVersion};
    for (std::size_t i = 0; i < std::size(facts); ++i) {
        const QRect line(kFactsLeft, kFactTops[i], width() - kFactsLeft, metrics.height());
        painter.drawText(line, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                         Text16(*facts[i]));
    }
}

CHyperLink::CHyperLink(QWidget* parent, int controlId) : QWidget(parent) {
    SetControlId(*this, controlId);
    setCursor(Qt::PointingHandCursor);
    setFont(FontPool().Font(font_code::kBase));
}

void CHyperLink::SetLabel(const QString& label) {
    label_ = label;
    updateGeometry();
    update();
}

void CHyperLink::SetTarget(const QString& target) {
    target_ = target;
    setToolTip(target);
}

void CHyperLink::SetLinkFont(const QFont& font) {
    setFont(font);
    updateGeometry();
    update();
}

QSize CHyperLink::IdealSize() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(label_) + 2, metrics.height()};
}

void CHyperLink::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    QFont underlined = font();
    underlined.setUnderline(true);
    painter.setFont(underlined);
    painter.setPen(kLinkColor);
    const QString shown = QFontMetrics(underlined).elidedText(label_, Qt::ElideRight, width());
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

void CHyperLink::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click) {
        emit clicked(target_);
    }
}

}  // namespace pixhaven::ui
