// The main window's shell: the frame and its buttons, the screens it switches between, the open
// backup and its worker, the window messages, the menu and the update check that follows start-up.
#include "ui/mainwindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QWindow>
#include <array>
#include <utility>

#include "makerlibs/gildpaint_draw.h"
#include "ui/aboutbox.h"
#include "ui/homescreen.h"
#include "ui/imgbutton.h"
#include "ui/msgbox.h"
#include "ui/programfolders.h"
#include "ui/progressscreen.h"
#include "ui/resultsscreen.h"
#include "ui/threadhandoff.h"
#include "ui/windowmessage.h"
#include "ui/windowmessages.h"
#include "ui/windowthreadobserver.h"

namespace pixhaven::ui {
namespace {

const QString kTitle = QStringLiteral("Quillmark Pixhaven");
const QRect kTitleBox(35, 4, 300, 20);
const QString kNoOutputFolder = QStringLiteral("Cannot create the recovery folder in %1.");
const QString kSelectFiles = QStringLiteral("Please select the file(s) you want to recover.");
const QString kBackQuestion =
    QStringLiteral("Are you sure to go back? If Back, the scanning results will not be saved.");

constexpr int kTitlePixels = 12;  // 9 points at 96 dots per inch

DesktopServices CompleteDesktop(DesktopServices desktop) {
    if (!desktop.runModal) {
        desktop.runModal = [](QDialog& box) { return box.exec(); };
    }
    if (!desktop.chooseFolder) {
        desktop.chooseFolder = [](QWidget* owner, const QString& title) {
            return QFileDialog::getExistingDirectory(owner, title);
        };
    }
    if (!desktop.openAddress) {
        desktop.openAddress = OpenAddressWithDesktop;
    }
    if (!desktop.openFolder) {
        desktop.openFolder = OpenFolderWithDesktop;
    }
    return desktop;
}

}  // namespace

CMainDlg::CMainDlg(UpdateServices services, QWidget* parent)
    : CMainDlg(std::move(services), DesktopServices{}, parent) {}

CMainDlg::CMainDlg(UpdateServices services, DesktopServices desktop, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      services_(std::move(services)),
      desktop_(CompleteDesktop(std::move(desktop))) {
    setWindowTitle(kTitle);
    setWindowIcon(ApplicationIcon());
    setFixedSize(kWidth, kHeight);
    // The skin paints every pixel; nothing of the desktop's palette shows through.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    CentreOnScreen();
    CreateFrameButtons();
    CreateScreens();
    updateTimer_ = startTimer(kUpdateTimerPeriodMs);
}

CMainDlg::~CMainDlg() {
    EndWorker();
    DiscardResults();
}

void CMainDlg::CentreOnScreen() {
    if (parentWidget() == nullptr && QGuiApplication::primaryScreen() != nullptr) {
        move(QGuiApplication::primaryScreen()->availableGeometry().center() - rect().center());
    }
}

bool CMainDlg::IsInDragStrip(QPoint point) {
    return point.y() >= 0 && point.y() < kDragStripHeight && point.x() >= 0 && point.x() < kWidth;
}

int CMainDlg::CurrentView() const {
    return results_->CurrentView();
}

bool CMainDlg::ScanComplete() const {
    return results_->ScanComplete();
}

const backup::ScanResults& CMainDlg::Results() const {
    return results_->Results();
}

backup::ScanResults& CMainDlg::Results() {
    return results_->Results();
}

CPhotoViewDlg* CMainDlg::Pane(int category) const {
    return results_->Pane(category);
}

// ---- Building ----

void CMainDlg::CreateFrameButtons() {
    CImgButton* close = AddImageButton(*this, kCloseId, QStringLiteral("close.png"), -1, 0, 3);
    CImgButton* minimise = AddImageButton(*this, kMinimiseId, QStringLiteral("min.png"), -34, 0, 3);
    CImgButton* menu = AddImageButton(*this, kMenuId, QStringLiteral("menu.png"), -65, 0, 3);
    connect(close, &QAbstractButton::clicked, this, [this] { Close(kCloseId); });
    connect(minimise, &QAbstractButton::clicked, this, [this] { showMinimized(); });
    connect(menu, &QAbstractButton::clicked, this, &CMainDlg::OnMenu);
}

void CMainDlg::CreateScreens() {
    home_ = std::make_unique<HomeScreen>(*this, desktop_.backupRoot, desktop_.runModal);
    results_ = std::make_unique<ResultsScreen>(*this);
    progress_ = std::make_unique<ProgressScreen>(*this, session_);
    observer_ = std::make_unique<WindowThreadObserver>(*this, *progress_, *results_);
    connect(home_.get(), &HomeScreen::startScanClicked, this, &CMainDlg::OnStartScan);
    connect(results_.get(), &ResultsScreen::backClicked, this, &CMainDlg::OnBack);
    connect(results_.get(), &ResultsScreen::recoverClicked, this, &CMainDlg::OnRecover);
}

// ---- Painting ----

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
    if (screen_ == kHomeScreen) {
        home_->Paint(painter);
    } else {
        results_->Paint(painter, width());
    }
    redraw_ = false;
}

void CMainDlg::SwitchScreen(Screen screen) {
    screen_ = screen;
    redraw_ = true;
    update();
}

void CMainDlg::paintEvent(QPaintEvent* /*event*/) {
    if (redraw_ || background_.devicePixelRatio() != devicePixelRatioF()) {
        RenderBackground();
    }
    QPainter(this).drawPixmap(0, 0, background_);
}

// ---- Messages ----

bool CMainDlg::event(QEvent* event) {
    if (const WindowMessageEvent* message = WindowMessageEvent::From(event)) {
        HandleWindowMessage(message->Message(), message->WParam(), message->LParam());
        return true;
    }
    return QDialog::event(event);
}

void CMainDlg::HandleWindowMessage(int message, quintptr wParam, qintptr lParam) {
    if (message == WM_SCAN_FINISHED || message == WM_RECOVER_FINISHED) {
        OnWorkerFinished(message);
    } else if (message == WM_UPDATE_CHECKED) {
        OnUpdateChecked(wParam);
    } else {
        results_->HandleCheckMessage(message, wParam, lParam);
    }
}

void CMainDlg::OnWorkerFinished(int message) {
    // The finished message is the worker's last act, so the thread is about to return.
    if (session_) {
        session_->FinishWorker();
    }
    if (windDownLoop_ != nullptr) {
        windDownLoop_->quit();
    } else if (message == WM_SCAN_FINISHED) {
        OnScanFinished();
    } else {
        OnRecoverFinished();
    }
}

// ---- Scanning ----

void CMainDlg::OnStartScan() {
    if (WorkerRunning()) {
        return;
    }
    HomeScreen::Opened opened = home_->OpenSelectedBackup(*observer_, pictures_);
    if (!opened.session) {
        return;
    }
    session_ = std::move(opened.session);
    // The tree shows before the list hides, so that it takes the keyboard focus.
    results_->ShowScanning(session_->Results(), opened.device);
    home_->Hide();
    progress_->ShowScanning();
    SwitchScreen(kResultsScreen);
    observer_->Attach();
    session_->StartScan();
}

void CMainDlg::OnScanFinished() {
    progress_->HideAfterScan();
    results_->ShowScanFinished();
}

// ---- Recovering ----

void CMainDlg::OnRecover() {
    if (WorkerRunning() || !session_) {
        return;
    }
    if (backup::CountCheckedItems(Results()) == 0) {
        ShowMessage(CMsgBox::kWarning, CMsgBox::kOk, kSelectFiles);
        return;
    }
    const QString chosen = desktop_.chooseFolder(this, QDir::currentPath());
    if (chosen.isEmpty() || !QDir::isAbsolutePath(chosen)) {
        return;
    }
    StartRecovery(std::filesystem::path(chosen.toStdU16String()));
}

void CMainDlg::StartRecovery(const std::filesystem::path& chosenFolder) {
    // The folder may have gone or become read-only since it was picked.
    observer_->Attach();
    const backup::OutputFolder output = session_->StartRecovery(chosenFolder);
    if (output.path.empty()) {
        ShowMessage(CMsgBox::kError, CMsgBox::kOk,
                    kNoOutputFolder.arg(QString::fromStdU16String(chosenFolder.u16string())));
        return;
    }
    results_->ShowCommands(false);
    progress_->ShowRecovering();
}

void CMainDlg::OnRecoverFinished() {
    progress_->HideAfterRecovery();
    results_->ShowCommands(true);
    const QString folder = QString::fromStdU16String(OutputFolder().u16string());
    const backup::RecoveryOutcome& outcome = *session_->LastRecovery();
    const bool complete = outcome.failures.empty();
    ShowMessage(complete ? CMsgBox::kSuccess : CMsgBox::kWarning,
                CMsgBox::kOk | CMsgBox::kFolderLink,
                QString::fromStdU16String(backup::RecoverySummary(outcome)),
                QStringLiteral("SaveFile:") + folder, folder);
}

// ---- Back, close and discarding ----

void CMainDlg::OnBack() {
    if (WorkerRunning() || ShowMessage(CMsgBox::kInformation, CMsgBox::kYes | CMsgBox::kNo,
                                       kBackQuestion) != CMsgBox::kYesResult) {
        return;
    }
    DiscardResults();
    results_->ResetTree();
    results_->Hide();
    home_->Show();
    progress_->ResetProgress();
    SwitchScreen(kHomeScreen);
}

void CMainDlg::DiscardResults() {
    results_->Discard();
    session_.reset();
}

// Stops a running worker and waits for it while still serving the reports it may be blocked in:
// the worker's results are freed next, so it has to be gone first.
void CMainDlg::EndWorker() {
    if (!WorkerRunning()) {
        return;
    }
    observer_->Detach();
    session_->Stop();
    WaitForWorkerWhileServing();
}

void CMainDlg::WaitForWorkerWhileServing() {
    QEventLoop loop;
    windDownLoop_ = &loop;
    // The finished message may already be queued; the loop then ends at its first turn.
    while (WorkerRunning()) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    windDownLoop_ = nullptr;
}

void CMainDlg::Close(int result) {
    EndWorker();
    DiscardResults();
    done(result);
}

// The window's close request, which the dialog turns into a reject, would otherwise end the dialog
// without winding a worker down.
void CMainDlg::reject() {
    Close(0);
}

// Escape leaves the window and its results alone: a stray key must not throw away a scan.
void CMainDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape || event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// ---- Menu and boxes ----

void CMainDlg::OnMenu() {
    QMenu menu(this);
    const std::array<std::pair<int, const char*>, 5> items = {{{kMenuHome, "Home"},
                                                               {kMenuHelp, "Help"},
                                                               {kMenuCheckUpdate, "Check Update"},
                                                               {kMenuAbout, "About"},
                                                               {kMenuExit, "Exit"}}};
    for (const auto& [id, text] : items) {
        menu.addAction(QString::fromLatin1(text))->setData(id);
    }
    if (const QAction* chosen = menu.exec(QCursor::pos())) {
        RunMenuCommand(chosen->data().toInt());
    }
}

void CMainDlg::RunMenuCommand(int id) {
    switch (id) {
        case kMenuHome:
            desktop_.openAddress(CAboutBox::HomePage());
            break;
        case kMenuHelp:
            desktop_.openAddress(CAboutBox::HomePage() + QStringLiteral("pixhaven/"));
            break;
        case kMenuCheckUpdate:
            if (services_.launchUpdater) {
                services_.launchUpdater();
            }
            break;
        case kMenuAbout: {
            CAboutBox about(desktop_.version, this);
            about.SetLinkOpener(desktop_.openAddress);
            RunModal(about);
            break;
        }
        case kMenuExit:
            Close(0);
            break;
        default:
            break;
    }
}

int CMainDlg::RunModal(QDialog& box) {
    return desktop_.runModal(box);
}

int CMainDlg::ShowMessage(int icon, int buttons, const QString& text, const QString& linkCaption,
                          const QString& linkTarget) {
    CMsgBox box(this);
    box.Prepare(icon, buttons, text, linkCaption, linkTarget);
    box.SetLinkOpener(desktop_.openFolder);
    return RunModal(box);
}

// ---- Update check ----

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
        InvokeOnThreadOf(QCoreApplication::instance(), [window, result] {
            if (window) {
                PostWindowMessage(window, WM_UPDATE_CHECKED, static_cast<quintptr>(result));
            }
        });
    });
}

void CMainDlg::OnUpdateChecked(quintptr result) {
    if (result != 0 && services_.launchUpdater) {
        services_.launchUpdater();
    }
}

// ---- Moving the window ----

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
