// The main window's frame: skin background, caption text, close button, moving by the top strip
// and the update check that follows start-up.
#include "ui/mainwindow.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QWindow>

#include "backup/windowmessages.h"
#include "makerlibs/gildpaint_draw.h"
#include "ui/imgbutton.h"
#include "ui/programfolders.h"
#include "ui/windowmessage.h"

namespace pixhaven::ui {
namespace {

const QString kTitle = QStringLiteral("Quillmark Pixhaven");
const QRect kTitleBox(35, 4, 300, 20);
constexpr int kTitlePixels = 12;  // 9 points at 96 dots per inch

}  // namespace

CMainDlg::CMainDlg(UpdateServices services, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), services_(std::move(services)) {
    setWindowTitle(kTitle);
    setFixedSize(kWidth, kHeight);
    // The skin paints every pixel; nothing of the desktop's palette shows through.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    CreateControls();
    updateTimer_ = startTimer(kUpdateTimerPeriodMs);
}

CMainDlg::~CMainDlg() = default;

bool CMainDlg::IsInDragStrip(QPoint point) {
    return point.y() >= 0 && point.y() < kDragStripHeight && point.x() >= 0 && point.x() < kWidth;
}

void CMainDlg::CreateControls() {
    closeButton_ = new CImgButton(this, kCloseId);
    closeButton_->SetImage(QStringLiteral("close.png"), -1, 0, 3);
    connect(closeButton_, &QAbstractButton::clicked, this, [this] { done(kCloseId); });
}

void CMainDlg::RenderBackground() {
    background_ = QPixmap(size() * devicePixelRatioF());
    background_.setDevicePixelRatio(devicePixelRatioF());
    background_.fill(Qt::white);
    QPainter painter(&background_);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QImage skin = SkinImage(QStringLiteral("mainbg.png"));
    if (!skin.isNull()) {
        painter.drawImage(rect(), skin);
    }
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(get_font(QStringLiteral("Arial"), kTitlePixels, 400));
    painter.setPen(Qt::white);
    painter.drawText(kTitleBox, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, kTitle);
    redraw_ = false;
}

void CMainDlg::paintEvent(QPaintEvent* /*event*/) {
    if (redraw_ || background_.devicePixelRatio() != devicePixelRatioF()) {
        RenderBackground();
    }
    QPainter(this).drawPixmap(0, 0, background_);
}

bool CMainDlg::event(QEvent* event) {
    if (event->type() == WindowMessageEvent::EventType()) {
        const auto* message = static_cast<WindowMessageEvent*>(event);
        if (message->Message() == WM_UPDATE_CHECKED) {
            OnUpdateChecked(message->WParam());
        }
        return true;
    }
    return QDialog::event(event);
}

void CMainDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() != updateTimer_ || updateTimer_ == 0) {
        QDialog::timerEvent(event);
        return;
    }
    killTimer(updateTimer_);
    updateTimer_ = 0;
    StartUpdateCheck();
}

void CMainDlg::StartUpdateCheck() {
    if (!services_.checkUpdate || updateThread_.joinable()) {
        return;
    }
    // The thread reaches the window only through the application object and a guarded pointer
    // that is read on the window's own thread, so a window that has gone gets nothing.
    QPointer<CMainDlg> window(this);
    updateThread_ = std::jthread([check = services_.checkUpdate, window] {
        const int result = check();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [window, result] {
                if (window) {
                    PostWindowMessage(window, WM_UPDATE_CHECKED, static_cast<quintptr>(result));
                }
            },
            Qt::QueuedConnection);
    });
}

void CMainDlg::OnUpdateChecked(quintptr result) {
    if (result != 0 && services_.launchUpdater) {
        services_.launchUpdater();
    }
}

void CMainDlg::mousePressEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (event->button() != Qt::LeftButton || !IsInDragStrip(point)) {
        QDialog::mousePressEvent(event);
        return;
    }
    // The window system moves the window where it can; elsewhere follow the cursor by hand.
    if (windowHandle() == nullptr || !windowHandle()->startSystemMove()) {
        dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
    }
    event->accept();
}

void CMainDlg::mouseMoveEvent(QMouseEvent* event) {
    if (dragOffset_ && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - *dragOffset_);
        event->accept();
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void CMainDlg::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragOffset_.reset();
    }
    QDialog::mouseReleaseEvent(event);
}

}  // namespace pixhaven::ui
