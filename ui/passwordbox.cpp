// The password box: the message box's frame, fonts and buttons around a masked entry, and the
// check of each password on a thread of its own.
#include "ui/passwordbox.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <string_view>

#include "makerlibs/gildpaint_draw.h"
#include "ui/animate.h"
#include "ui/imgbutton.h"
#include "ui/programfolders.h"
#include "ui/staticlabel.h"
#include "ui/threadhandoff.h"

namespace pixhaven::ui {

const QString CPasswordBox::kPrompt =
    QStringLiteral("This backup is encrypted. Enter the password it was backed up with:");
const QString CPasswordBox::kWrongPassword = QStringLiteral("The password is wrong. Try again.");
const QString CPasswordBox::kChecking = QStringLiteral("Checking the password\u2026");

namespace {

// As the message box: its size when the skin has no background, text from x 70, buttons 15 up.
const QSize kFallbackSize(420, 200);
constexpr int kTextLeft = 70;
constexpr int kButtonGap = 20;
constexpr int kBottomMargin = 15;
// Below the caption band: two lines of prompt, the entry, and one status line above the buttons.
constexpr int kPromptTop = 42;
constexpr int kEntryTop = 86;
constexpr int kEntryHeight = 26;
constexpr int kStatusTop = 118;
constexpr int kStatusHeight = 20;
constexpr int kBusyTextLeft = kTextLeft + 22;
const QColor kNoticeColour(0xD0, 0x34, 0x2C);
const QColor kStatusColour(0x66, 0x66, 0x66);

// Drawn from the skin's colours whatever the desktop's palette: white field, grey frame, the
// caption band's blue when focused.
constexpr char kEntryStyle[] =
    "QLineEdit { background: white; color: black; border: 1px solid #CBCBCB; padding: 0 4px;"
    " selection-background-color: #05AAD9; selection-color: white;"
    " lineedit-password-character: 9679; }"
    "QLineEdit:focus { border-color: #05AAD9; }"
    "QLineEdit:disabled { background: #F5F5F5; color: #999999; }";

// The typed password as bytes to derive from, leaving no copy in the entry or its undo history
// (setText drops both) and wiping the copies made on the way.
backup::SecretBytes TakePassword(QLineEdit& entry) {
    QString typed = entry.text();
    entry.setText(QString());
    QByteArray utf8 = typed.toUtf8();
    backup::SecretBytes password(
        std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    utf8.fill('\0');
    typed.fill(QChar(0));
    return password;
}

}  // namespace

CPasswordBox::CPasswordBox(QWidget* owner, Opener open)
    : CDragMoveDialog(owner, kClosed),
      open_(std::move(open)),
      background_(SkinImage(QStringLiteral("msgbox.png"))),
      icon_(SkinImage(QStringLiteral("info.png"))),
      captionFont_(get_font(QStringLiteral("Arial"), 14, 400)),
      promptFont_(get_font(QStringLiteral("Arial"), 16, 400)),
      statusFont_(get_font(QStringLiteral("Arial"), 14, 400)),
      prompt_(kPrompt) {
    setWindowTitle(QStringLiteral("Pixhaven"));
    setFixedSize(background_.isNull() ? kFallbackSize : background_.size());
    CreateControls();
    PlaceButtons();
    CentreOnOwner();
    entry_->setFocus();
}

CPasswordBox::~CPasswordBox() {
    // The check reports to this box: it has to end while the box still exists.
    if (checker_.joinable()) {
        checker_.join();
    }
}

void CPasswordBox::CreateControls() {
    entry_ = new QLineEdit(this);
    SetControlId(*entry_, kEntryId);
    entry_->setEchoMode(QLineEdit::Password);
    entry_->setFont(get_font(QStringLiteral("Arial"), 15, 400));
    entry_->setStyleSheet(QString::fromLatin1(kEntryStyle));
    entry_->setContextMenuPolicy(Qt::NoContextMenu);
    entry_->setGeometry(kTextLeft, kEntryTop, width() - kTextLeft - 20, kEntryHeight);

    busy_ = new CAnimateImg(this, kBusyId);
    busy_->SetImage(QStringLiteral("animate.png"));
    busy_->SetBackdrop(Qt::white);
    const int busyHeight = busy_->FrameSize().height();
    busy_->Place(kTextLeft, kStatusTop + (kStatusHeight - busyHeight) / 2);
    busy_->hide();

    const std::pair<int, const char*> buttons[] = {
        {kClosed, "close.png"}, {kOkResult, "ok.png"}, {kCancelResult, "cancel.png"}};
    for (const auto& [id, image] : buttons) {
        auto* button = new CImgButton(this, id);
        button->SetImage(QString::fromLatin1(image), 0, 0, 3);
        button->setFocusPolicy(Qt::NoFocus);
        buttonsById_.emplace(id, button);
    }
    connect(buttonsById_.at(kOkResult), &CImgButton::clicked, this, &CPasswordBox::Submit);
    connect(buttonsById_.at(kCancelResult), &CImgButton::clicked, this,
            [this] { done(kCancelResult); });
    connect(buttonsById_.at(kClosed), &CImgButton::clicked, this, [this] { done(kClosed); });
}

// As the message box places its close button and a pair of answer buttons.
void CPasswordBox::PlaceButtons() {
    buttonsById_.at(kClosed)->SetImage(QStringLiteral("close.png"), -5, 5, 3);
    CImgButton* ok = buttonsById_.at(kOkResult);
    CImgButton* cancel = buttonsById_.at(kCancelResult);
    const int y = height() - ok->height() - kBottomMargin;
    ok->move(width() / 2 - ok->width() - kButtonGap, y);
    cancel->move(width() / 2 + kButtonGap, y);
}

CImgButton* CPasswordBox::Button(int id) const {
    const auto found = buttonsById_.find(id);
    return found == buttonsById_.end() ? nullptr : found->second;
}

void CPasswordBox::reject() {
    if (!checking_) {
        CDragMoveDialog::reject();
    }
}

void CPasswordBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Submit();
        event->accept();
        return;
    }
    CDragMoveDialog::keyPressEvent(event);
}

void CPasswordBox::Submit() {
    if (checking_) {
        return;
    }
    if (entry_->text().isEmpty()) {
        entry_->setFocus();
        return;
    }
    backup::SecretBytes password = TakePassword(*entry_);
    SetChecking(true);
    // The password lives on the checking thread only as long as the check, then is wiped.
    checker_ = std::jthread([this, open = open_, secret = std::move(password)]() mutable {
        backup::ScanSession::Opened opened;
        {
            const backup::SecretBytes held = std::move(secret);
            opened = open(held);
        }
        InvokeOnThreadOf(
            this, [this, opened = std::move(opened)]() mutable { Checked(std::move(opened)); });
    });
}

void CPasswordBox::Checked(backup::ScanSession::Opened opened) {
    if (checker_.joinable()) {
        checker_.join();  // it only has to return: its result is here
    }
    SetChecking(false);
    if (opened.problem == backup::ManifestProblem::WrongPassword) {
        notice_ = kWrongPassword;
        entry_->setFocus();
        update();
        return;
    }
    opened_ = std::move(opened);
    done(kOkResult);
}

void CPasswordBox::SetChecking(bool checking) {
    checking_ = checking;
    if (checking) {
        notice_.clear();
        busy_->show();
        busy_->Start();
    } else {
        busy_->Stop();
        busy_->hide();
    }
    entry_->setEnabled(!checking);
    for (const auto& [id, button] : buttonsById_) {
        button->setEnabled(!checking);
    }
    update();
}

void CPasswordBox::PaintTexts(QPainter& painter) const {
    const int textWidth = width() - kTextLeft - 10;
    painter.setFont(promptFont_);
    painter.setPen(Qt::black);
    painter.drawText(QRect(kTextLeft, kPromptTop, textWidth, kEntryTop - kPromptTop),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, prompt_);
    painter.setFont(statusFont_);
    if (checking_) {
        painter.setPen(kStatusColour);
        painter.drawText(
            QRect(kBusyTextLeft, kStatusTop, width() - kBusyTextLeft - 10, kStatusHeight),
            Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, kChecking);
    } else if (!notice_.isEmpty()) {
        painter.setPen(kNoticeColour);
        painter.drawText(QRect(kTextLeft, kStatusTop, textWidth, kStatusHeight),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, notice_);
    }
}

void CPasswordBox::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    PaintBackground(painter, background_);
    if (!icon_.isNull()) {
        painter.drawImage(QRect(20, (height() - 40) / 2, 40, 40), icon_);
    }
    painter.setFont(captionFont_);
    painter.setPen(Qt::white);
    painter.drawText(QRect(40, 7, width() - 40, QFontMetrics(captionFont_).height()),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, QStringLiteral("Pixhaven"));
    PaintTexts(painter);
}

}  // namespace pixhaven::ui
