// The box that asks for an encrypted backup's password, in the message box's look. Opening the
// backup with it derives keys for seconds, so that runs on a thread of the box's own while the box
// shows that it is working; a wrong password is asked for again.
#pragma once

#include <QFont>
#include <QImage>
#include <QString>
#include <functional>
#include <map>
#include <thread>

#include "backup/scansession.h"
#include "backup/secret.h"
#include "ui/msgbox.h"

class QLineEdit;

namespace pixhaven::ui {

class CAnimateImg;
class CImgButton;

class CPasswordBox : public CDragMoveDialog {
    Q_OBJECT
public:
    // The message box's ids and results: OK ends the box once a password opened the backup, or
    // failed for another reason than being wrong.
    enum Result : int {
        kClosed = CMsgBox::kClosed,
        kOkResult = CMsgBox::kOkResult,
        kCancelResult = CMsgBox::kCancelResult,
    };
    static constexpr int kEntryId = 1031;
    static constexpr int kBusyId = 1032;

    // Opens the backup with a password. Runs on the box's checking thread: it must touch no
    // widget.
    using Opener = std::function<backup::ScanSession::Opened(const backup::SecretBytes& password)>;

    CPasswordBox(QWidget* owner, Opener open);
    // Waits for a check still running.
    ~CPasswordBox() override;
    CPasswordBox(const CPasswordBox&) = delete;
    CPasswordBox& operator=(const CPasswordBox&) = delete;

    // What the last password opened once the box ended with kOkResult: a session, or why there is
    // none.
    backup::ScanSession::Opened TakeOpened() { return std::move(opened_); }

    // Escape and the window manager close the box, except while a password is being checked.
    void reject() override;

    // What tests look at.
    QLineEdit* Entry() const { return entry_; }
    CImgButton* Button(int id) const;
    CAnimateImg* BusyPicture() const { return busy_; }
    bool Checking() const { return checking_; }
    const QString& Prompt() const { return prompt_; }
    // Empty, or what the last check said about the password.
    const QString& Notice() const { return notice_; }

    // The texts the box shows.
    static const QString kPrompt;
    static const QString kWrongPassword;
    static const QString kChecking;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void CreateControls();
    void PlaceButtons();
    void Submit();
    void SetChecking(bool checking);
    void Checked(backup::ScanSession::Opened opened);
    void PaintTexts(QPainter& painter) const;

    const Opener open_;
    QImage background_;
    QImage icon_;
    QFont captionFont_;
    QFont promptFont_;
    QFont statusFont_;
    QString prompt_;
    QString notice_;
    bool checking_ = false;
    // Children of the box.
    QLineEdit* entry_ = nullptr;
    CAnimateImg* busy_ = nullptr;
    std::map<int, CImgButton*> buttonsById_;
    backup::ScanSession::Opened opened_;
    std::jthread checker_;  // last: joined before anything it reports to goes
};

}  // namespace pixhaven::ui
