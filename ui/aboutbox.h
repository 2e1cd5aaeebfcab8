// The about box: version, the home-page link and two notices on the skin's background picture.
#pragma once

#include <QImage>
#include <QString>

#include "ui/msgbox.h"

namespace pixhaven::ui {

class CAboutBox : public CDragMoveDialog {
    Q_OBJECT
public:
    static constexpr int kCloseId = 1023;
    static constexpr int kOkId = 1024;
    static constexpr int kLinkId = 1025;

    CAboutBox(const QString& version, QWidget* owner);

    static QString HomePage();
    static QString LegalNotice();
    static QString RightsNotice();

    void SetLinkOpener(LinkOpener opener) { opener_ = std::move(opener); }
    // The version line as the box paints it.
    QString VersionText() const { return QStringLiteral("Version:") + version_; }
    CImgButton* Button(int id) const;
    CHyperLink* Link() const { return link_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CImgButton* AddButton(int id, int x, int y);

    QString version_;
    QImage background_;
    CImgButton* close_ = nullptr;  // children of the box
    CImgButton* ok_ = nullptr;
    CHyperLink* link_ = nullptr;
    LinkOpener opener_;
};

// Opens a web address with the desktop's browser.
void OpenAddressWithDesktop(const QString& address);

}  // namespace pixhaven::ui
