// The progress strip: what a running scan or recovery shows, and pausing, continuing and stopping
// it.
#include "ui/progressscreen.h"

#include <QProgressBar>

#include "ui/animate.h"
#include "ui/imgbutton.h"
#include "ui/maincontrols.h"
#include "ui/staticlabel.h"

namespace pixhaven::ui {
namespace {

const QString kBusyText =
    QStringLiteral("Scaning,please wait .    Scaning,please wait . .  Scaning,please wait . . .");

}  // namespace

ProgressScreen::ProgressScreen(QWidget& window, const std::unique_ptr<backup::ScanSession>& session)
    : session_(session) {
    CreateButtons(window);
    CreateProgressControls(window);
}

void ProgressScreen::CreateButtons(QWidget& window) {
    pauseButton_ =
        AddImageButton(window, MainControls::kPauseId, QStringLiteral("pause.png"), -92, -20, 4);
    continueButton_ = AddImageButton(window, MainControls::kContinueId,
                                     QStringLiteral("continue.png"), -92, -20, 4);
    stopButton_ =
        AddImageButton(window, MainControls::kStopId, QStringLiteral("stop.png"), -20, -20, 4);
    SetShown({pauseButton_, continueButton_, stopButton_}, false);
    connect(pauseButton_, &QAbstractButton::clicked, this, &ProgressScreen::OnPause);
    connect(continueButton_, &QAbstractButton::clicked, this, &ProgressScreen::OnContinue);
    connect(stopButton_, &QAbstractButton::clicked, this, &ProgressScreen::OnStop);
}

void ProgressScreen::CreateProgressControls(QWidget& window) {
    progress_ = new QProgressBar(&window);
    SetControlId(*progress_, MainControls::kProgressId);
    progress_->setGeometry(42, 609, 730, 20);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    progress_->hide();

    busyPicture_ = new CAnimateImg(&window);
    busyPicture_->SetImage(QStringLiteral("animate.png"));
    busyPicture_->SetPeriod(100);
    busyPicture_->Place(20, 611);
    busyPicture_->hide();

    busyText_ = new CAnimateStr(&window, MainControls::kBusyTextId);
    busyText_->SetText(kBusyText, 3);
    busyText_->SetPeriod(500);
    busyText_->Place(42, 591);
    busyText_->hide();

    percentLabel_ = new CStaticLabel(&window, MainControls::kPercentId);
    percentLabel_->setGeometry(780, 611, 30, 16);
    percentLabel_->SetText(QStringLiteral("0%"));
    percentLabel_->hide();

    statusLabel_ = new CStaticLabel(&window, MainControls::kStatusId);
    statusLabel_->setGeometry(42, 591, 700, 16);
    statusLabel_->hide();
}

void ProgressScreen::ShowScanning() {
    progress_->setValue(0);
    progress_->show();
    SetBusyAnimations(true);
    busyPicture_->show();
    busyText_->show();
    percentLabel_->SetText(QStringLiteral("0%"));
    percentLabel_->show();
}

void ProgressScreen::ShowRecovering() {
    progress_->setValue(0);
    progress_->show();
    ShowPauseAndStop();
    busyPicture_->show();
    busyPicture_->Start();
    percentLabel_->SetText(QStringLiteral("0%"));
    percentLabel_->show();
    statusLabel_->SetText(QStringLiteral("Recovering:"));
    statusLabel_->show();
}

void ProgressScreen::HideAfterScan() {
    SetBusyAnimations(false);
    busyPicture_->hide();
    busyText_->hide();
    SetShown({percentLabel_, progress_, pauseButton_, continueButton_, stopButton_}, false);
}

void ProgressScreen::HideAfterRecovery() {
    progress_->setValue(100);
    progress_->hide();
    SetShown(
        {pauseButton_, continueButton_, percentLabel_, statusLabel_, busyPicture_, stopButton_},
        false);
    busyPicture_->Stop();
}

void ProgressScreen::ResetProgress() {
    progress_->setValue(0);
}

void ProgressScreen::SetProgress(int percent) {
    percentLabel_->SetText(QStringLiteral("%1%").arg(percent));
    progress_->setValue(percent);
}

void ProgressScreen::SetStatusText(const QString& text) {
    statusLabel_->SetText(text);
}

void ProgressScreen::ShowPauseAndStop() {
    // A worker paused before its counting ended stays paused: offer Continue, not Pause.
    const bool paused = session_ && session_->Paused();
    pauseButton_->setVisible(!paused);
    continueButton_->setVisible(paused);
    stopButton_->show();
}

bool ProgressScreen::WorkerRunning() const {
    return session_ && session_->WorkerRunning();
}

void ProgressScreen::SetBusyAnimations(bool running) {
    // A recovery shows only the picture; the scanning text stays hidden and still.
    const bool withText = !session_ || session_->CurrentOperation() != backup::kOperationRecovering;
    if (running) {
        busyPicture_->Start();
        if (withText) {
            busyText_->Start();
        }
    } else {
        busyPicture_->Stop();
        busyText_->Stop();
    }
}

void ProgressScreen::OnPause() {
    SetPaused(true);
}

void ProgressScreen::OnContinue() {
    SetPaused(false);
}

// Pause holds the worker before its next file and offers Continue; Continue undoes it.
void ProgressScreen::SetPaused(bool paused) {
    if (!WorkerRunning()) {
        return;
    }
    paused ? session_->Pause() : session_->Continue();
    SetBusyAnimations(!paused);
    pauseButton_->setVisible(!paused);
    continueButton_->setVisible(paused);
}

void ProgressScreen::OnStop() {
    if (session_) {
        session_->Stop();
    }
}

}  // namespace pixhaven::ui
