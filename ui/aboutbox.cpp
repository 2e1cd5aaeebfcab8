// The about box behind the menu's "About" item.
#include "ui/aboutbox.h"

#include <QDesktopServices>
#include <QPainter>
#include <QUrl>

#include "makerlibs/gildpaint_draw.h"
#include "ui/fontpool.h"
#include "ui/imgbutton.h"
#include "ui/programfolders.h"
#include "ui/staticlabel.h"

namespace pixhaven::ui {
namespace {

// Without its background picture the box keeps room for everything it shows.
const QSize kFallbackSize(500, 350);
const QColor kVersionColor(0, 0, 90);
const QRect kLegalNoticeBox(QPoint(40, 190), QPoint(450 - 1, 254 - 1));

}  // namespace

void OpenAddressWithDesktop(const QString& address) {
    QDesktopServices::openUrl(QUrl(address));
}

CAboutBox::CAboutBox(const QString& version, QWidget* owner)
    : CDragMoveDialog(owner, kCloseId),
      version_(version),
      background_(SkinImage(QStringLiteral("aboutbk.png"))),
      opener_(OpenAddressWithDesktop) {
    setWindowTitle(QStringLiteral("Pixhaven"));
    setFixedSize(background_.isNull() ? kFallbackSize : background_.size());
    CentreOnOwner();
    close_ = AddButton(kCloseId, -2, 0);
    ok_ = AddButton(kOkId, -20, -15);
    link_ = new CHyperLink(this, kLinkId);
    link_->SetLinkFont(get_font(QStringLiteral("Arial"), 16, 400));
    link_->SetLabel(QStringLiteral("Homepage:") + HomePage());
    link_->SetTarget(HomePage());
    link_->setGeometry(QRect(QPoint(40, 270), link_->IdealSize()));
    connect(link_, &CHyperLink::clicked, this, [this](const QString& target) {
        if (opener_) {
            opener_(target);
        }
    });
}

QString CAboutBox::HomePage() {
    return QStringLiteral("https://www.pixhaven.example/");
}

QString CAboutBox::LegalNotice() {
    return QStringLiteral(
        "This program is protected by copyright law. Copying or passing on this program, or any "
        "part of it, without permission is not allowed.");
}

QString CAboutBox::RightsNotice() {
    return QStringLiteral("Copyright (C) Quillmark. All rights reserved.");
}

CImgButton* CAboutBox::AddButton(int id, int x, int y) {
    auto* button = new CImgButton(this, id);
    button->SetImage(id == kCloseId ? QStringLiteral("close.png") : QStringLiteral("ok.png"), x, y,
                     3);
    connect(button, &CImgButton::clicked, this, [this, id] { done(id); });
    return button;
}

CImgButton* CAboutBox::Button(int id) const {
    return id == kCloseId ? close_ : id == kOkId ? ok_ : nullptr;
}

void CAboutBox::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    PaintBackground(painter, background_);
    const auto line = [&painter](std::uint16_t code, const QColor& color, QPoint at,
                                 const QString& text) {
        const QFont& font = FontPool().Font(code);
        painter.setFont(font);
        painter.setPen(color);
        const QRect box(at, QSize(10000, QFontMetrics(font).height()));
        painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    };
    line(font_code::kBase, Qt::white, {45, 7}, QStringLiteral("Pixhaven"));
    line(font_code::kTwoLarger, kVersionColor, {40, 135}, VersionText());
    painter.setFont(FontPool().Font(font_code::kLarger));
    painter.setPen(Qt::black);
    painter.drawText(kLegalNoticeBox, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     LegalNotice());
    line(font_code::kLarger, Qt::black, {40, 310}, RightsNotice());
}

}  // namespace pixhaven::ui
