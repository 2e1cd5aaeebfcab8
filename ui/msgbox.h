// The program's own message box: background picture, caption, one of four icons, the message,
// up to two answer buttons and, for the recovery report, a link that opens the output folder.
#pragma once

#include <QDialog>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>
#include <functional>
#include <map>

namespace pixhaven::ui {

class CHyperLink;
class CImgButton;

// A caption-less modal box that the user drags by any free spot, centred on its owner; closing it
// any other way (Escape, the window manager) returns `closeResult`.
class CDragMoveDialog : public QDialog {
    Q_OBJECT
public:
    CDragMoveDialog(QWidget* owner, int closeResult);

    void reject() override;

    // The owner's window, or the screen's work area when there is none.
    void CentreOnOwner();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // The box's picture over the whole box; without one, white with the accent caption band.
    void PaintBackground(QPainter& painter, const QImage& background);

private:
    int closeResult_;
    bool dragging_ = false;
    QPoint dragOffset_;
};

// Opens a link target; tests put a recorder here instead of the desktop's file manager.
using LinkOpener = std::function<void(const QString& target)>;

class CMsgBox : public CDragMoveDialog {
    Q_OBJECT
public:
    enum Icon : int { kWarning = 0, kError = 1, kInformation = 2, kSuccess = 3 };
    enum ButtonFlag : int { kOk = 0x1, kYes = 0x2, kCancel = 0x4, kNo = 0x8, kFolderLink = 0x40 };
    enum Result : int {
        kClosed = 1025,
        kOkResult = 1026,
        kYesResult = 1027,
        kNoResult = 1028,
        kCancelResult = 1029,
    };
    static constexpr int kLinkId = 1030;

    explicit CMsgBox(QWidget* owner);
    ~CMsgBox() override;

    // Stores the message and lays the box out for it.
    void Prepare(int icon, int buttons, const QString& text, const QString& linkCaption = {},
                 const QString& linkTarget = {});

    void SetLinkOpener(LinkOpener opener) { opener_ = std::move(opener); }

    // Runs a box modally over `owner` (the active window when none is given) and returns the
    // result of the button that closed it.
    static int ShowMessage(int icon, int buttons, const QString& text, QWidget* owner,
                           const QString& linkCaption = {}, const QString& linkTarget = {});

    // What the layout worked out; tests read these.
    int LineCount() const { return lineCount_; }
    int BottomMargin() const;
    QRect IconBox() const;
    CImgButton* Button(int id) const;
    CHyperLink* Link() const { return link_; }
    const QString& Text() const { return text_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void CreateButtons();
    void PlaceLink();
    void PlaceAnswerButtons();
    bool FitsOneLine(const QFontMetrics& metrics) const;
    void PaintMessage(QPainter& painter) const;
    void OpenLink();

    QImage background_;
    QImage icon_;
    QFont messageFont_;
    QFont captionFont_;
    QString text_;
    QString linkCaption_;
    QString linkTarget_;
    int buttons_ = 0;
    int lineCount_ = 0;
    std::map<int, CImgButton*> buttonsById_;  // children of the box
    CHyperLink* link_ = nullptr;              // child of the box
    LinkOpener opener_;
};

// Opens a local folder with the desktop's file manager.
void OpenFolderWithDesktop(const QString& folder);

}  // namespace pixhaven::ui
