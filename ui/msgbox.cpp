// The program's own message box and the draggable caption-less dialog both boxes are built on.
#include "ui/msgbox.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTextLayout>
#include <QUrl>
#include <algorithm>
#include <vector>

#include "makerlibs/gildpaint_draw.h"
#include "ui/imgbutton.h"
#include "ui/programfolders.h"
#include "ui/staticlabel.h"

namespace pixhaven::ui {
namespace {

// Without its background picture the box keeps a usable size rather than vanishing while modal.
const QSize kFallbackSize(420, 180);
const QColor kFallbackHeader(5, 170, 217);
constexpr int kTextLeft = 70;
constexpr int kButtonGap = 20;
// Answer buttons in the order they stand in a row: OK or Yes first, No or Cancel second.
constexpr int kAnswerOrder[] = {CMsgBox::kOkResult, CMsgBox::kYesResult, CMsgBox::kNoResult,
                                CMsgBox::kCancelResult};

struct AnswerButton {
    int flag;
    const char* image;
};

AnswerButton AnswerFor(int id) {
    switch (id) {
        case CMsgBox::kOkResult:
            return {CMsgBox::kOk, "ok.png"};
        case CMsgBox::kYesResult:
            return {CMsgBox::kYes, "yes.png"};
        case CMsgBox::kNoResult:
            return {CMsgBox::kNo, "no.png"};
        default:
            return {CMsgBox::kCancel, "cancel.png"};
    }
}

QString IconFile(int icon) {
    switch (icon) {
        case CMsgBox::kWarning:
            return QStringLiteral("warn.png");
        case CMsgBox::kError:
            return QStringLiteral("error.png");
        case CMsgBox::kInformation:
            return QStringLiteral("info.png");
        case CMsgBox::kSuccess:
            return QStringLiteral("right.png");
        default:
            return {};
    }
}

// Word-wraps the layout's text with lines spaced by the font's height, the spacing the line
// count and the link's place assume.
void WrapInto(QTextLayout& layout, int width, int lineHeight) {
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, line.lineNumber() * lineHeight));
    }
    layout.endLayout();
}

}  // namespace

void OpenFolderWithDesktop(const QString& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

CDragMoveDialog::CDragMoveDialog(QWidget* owner, int closeResult)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint), closeResult_(closeResult) {
    // Everything is painted from the skin; the desktop theme must not show through.
    QPalette palette;
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    setPalette(palette);
}

void CDragMoveDialog::reject() {
    done(closeResult_);
}

void CDragMoveDialog::CentreOnOwner() {
    QRect area;
    if (parentWidget() != nullptr) {
        area = parentWidget()->window()->frameGeometry();
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    if (area.isValid()) {
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void CDragMoveDialog::PaintBackground(QPainter& painter, const QImage& background) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (background.isNull()) {
        painter.fillRect(rect(), Qt::white);
        painter.fillRect(QRect(0, 0, width(), 30), kFallbackHeader);
    } else {
        painter.drawImage(rect(), background);
    }
}

void CDragMoveDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QDialog::mousePressEvent(event);
        return;
    }
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - pos();
    event->accept();
}

void CDragMoveDialog::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton) != 0) {
        move(event->globalPosition().toPoint() - dragOffset_);
        event->accept();
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void CDragMoveDialog::mouseReleaseEvent(QMouseEvent* event) {
    dragging_ = false;
    QDialog::mouseReleaseEvent(event);
}

CMsgBox::CMsgBox(QWidget* owner)
    : CDragMoveDialog(owner, kClosed),
      background_(SkinImage(QStringLiteral("msgbox.png"))),
      messageFont_(get_font(QStringLiteral("Arial"), 16, 400)),
      captionFont_(get_font(QStringLiteral("Arial"), 14, 400)),
      opener_(OpenFolderWithDesktop) {
    setWindowTitle(QStringLiteral("Pixhaven"));
    CreateButtons();
    link_ = new CHyperLink(this, kLinkId);
    link_->hide();
    connect(link_, &CHyperLink::clicked, this, [this] { OpenLink(); });
}

CMsgBox::~CMsgBox() = default;

void CMsgBox::CreateButtons() {
    auto* close = new CImgButton(this, kClosed);
    buttonsById_.emplace(kClosed, close);
    for (const int id : kAnswerOrder) {
        buttonsById_.emplace(id, new CImgButton(this, id));
    }
    for (const auto& [id, button] : buttonsById_) {
        button->hide();
        connect(button, &CImgButton::clicked, this, [this, id = id] { done(id); });
    }
}

void CMsgBox::Prepare(int icon, int buttons, const QString& text, const QString& linkCaption,
                      const QString& linkTarget) {
    buttons_ = buttons;
    text_ = text;
    linkCaption_ = linkCaption;
    linkTarget_ = linkTarget;
    const QString iconFile = IconFile(icon);
    icon_ = iconFile.isEmpty() ? QImage() : SkinImage(iconFile);
    setFixedSize(background_.isNull() ? kFallbackSize : background_.size());
    CentreOnOwner();
    lineCount_ = 0;
    PlaceLink();
    buttonsById_.at(kClosed)->SetImage(QStringLiteral("close.png"), -5, 5, 3);
    PlaceAnswerButtons();
    update();
}

void CMsgBox::PlaceLink() {
    if ((buttons_ & kFolderLink) == 0) {
        link_->hide();
        return;
    }
    const QFontMetrics metrics(messageFont_);
    const int textBoxWidth = std::max(1, width() - 80);
    lineCount_ = metrics.horizontalAdvance(text_) / textBoxWidth + 1;
    const int block = lineCount_ * metrics.height();
    link_->SetLinkFont(get_font(QStringLiteral("Arial"), 15, 400));
    link_->SetLabel(QStringLiteral("Open the folder"));
    link_->SetTarget(linkTarget_);
    if (!linkCaption_.isEmpty()) {
        link_->setToolTip(linkCaption_);
    }
    const int ideal = link_->IdealSize().width();
    const int linkWidth = ideal > width() - 80 ? width() - 85 : ideal;
    link_->setGeometry(kTextLeft, (height() - block) / 2 + block + 2, linkWidth, 15);
    link_->show();
}

int CMsgBox::BottomMargin() const {
    const bool linkShown = (buttons_ & kFolderLink) != 0;
    return lineCount_ > 3 || (linkShown && lineCount_ > 2) ? 10 : 15;
}

void CMsgBox::PlaceAnswerButtons() {
    std::vector<CImgButton*> shown;
    for (const int id : kAnswerOrder) {
        const AnswerButton answer = AnswerFor(id);
        CImgButton* button = buttonsById_.at(id);
        if ((buttons_ & answer.flag) == 0) {
            button->hide();
            continue;
        }
        button->SetImage(QString::fromLatin1(answer.image), 0, 0, 3);
        shown.push_back(button);
    }
    if (shown.empty()) {
        return;
    }
    const int buttonHeight = shown.front()->height();
    const int y = height() - buttonHeight - BottomMargin();
    if (shown.size() == 1) {
        shown.front()->move((width() - shown.front()->width()) / 2, y);
    } else if (shown.size() == 2) {
        shown[0]->move(width() / 2 - shown[0]->width() - kButtonGap, y);
        shown[1]->move(width() / 2 + kButtonGap, y);
    } else {
        // More than two never comes from the program; keep them in one centred row.
        int total = 0;
        for (const CImgButton* button : shown) {
            total += button->width();
        }
        total += 2 * kButtonGap * static_cast<int>(shown.size() - 1);
        int x = (width() - total) / 2;
        for (CImgButton* button : shown) {
            button->move(x, y);
            x += button->width() + 2 * kButtonGap;
        }
    }
}

QRect CMsgBox::IconBox() const {
    return {20, (height() - 40) / 2, 40, 40};
}

CImgButton* CMsgBox::Button(int id) const {
    const auto found = buttonsById_.find(id);
    return found == buttonsById_.end() ? nullptr : found->second;
}

bool CMsgBox::FitsOneLine(const QFontMetrics& metrics) const {
    return metrics.horizontalAdvance(text_) < width() - 80;
}

void CMsgBox::PaintMessage(QPainter& painter) const {
    const QFontMetrics metrics(messageFont_);
    const int boxWidth = std::max(1, width() - 80);
    painter.setFont(messageFont_);
    painter.setPen(Qt::black);
    if (FitsOneLine(metrics)) {
        painter.drawText(QRect(kTextLeft, 0, boxWidth, height()),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text_);
        return;
    }
    QTextLayout layout(text_, messageFont_, painter.device());
    WrapInto(layout, boxWidth, metrics.height());
    // The line count is only worked out for the link; a long message needs its own.
    const int block = std::max(lineCount_, layout.lineCount()) * metrics.height();
    layout.draw(&painter, QPointF(kTextLeft, (height() - block) / 2));
}

void CMsgBox::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    PaintBackground(painter, background_);
    if (!icon_.isNull()) {
        painter.drawImage(IconBox(), icon_);
    }
    painter.setFont(captionFont_);
    painter.setPen(Qt::white);
    painter.drawText(QRect(40, 7, width() - 40, QFontMetrics(captionFont_).height()),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, QStringLiteral("Pixhaven"));
    PaintMessage(painter);
}

void CMsgBox::OpenLink() {
    // A link without a target must not open whatever folder happens to be current.
    if (!linkTarget_.isEmpty() && opener_) {
        opener_(linkTarget_);
    }
}

int CMsgBox::ShowMessage(int icon, int buttons, const QString& text, QWidget* owner,
                         const QString& linkCaption, const QString& linkTarget) {
    CMsgBox box(owner != nullptr ? owner : QApplication::activeWindow());
    box.Prepare(icon, buttons, text, linkCaption, linkTarget);
    return box.exec();
}

}  // namespace pixhaven::ui
