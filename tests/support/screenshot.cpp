#include "tests/support/screenshot.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTest>
#include <QWidget>

namespace pixhaven::test {

QString SaveScreenshot(QWidget& widget, const QString& name) {
    QString folder = qEnvironmentVariable("PIXHAVEN_SCREENSHOT_DIR");
    if (folder.isEmpty()) {
        folder = QDir::current().filePath("screenshots");
    }
    if (!QDir().mkpath(folder)) {
        return {};
    }
    const QString file = QDir(folder).filePath(name + ".png");
    return widget.grab().save(file) ? file : QString();
}

QPalette DarkPalette() {
    QPalette palette;
    for (const auto role : {QPalette::Window, QPalette::Base, QPalette::Button}) {
        palette.setColor(role, QColor(30, 30, 34));
    }
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(role, QColor(230, 230, 230));
    }
    palette.setColor(QPalette::Highlight, QColor(80, 40, 160));
    return palette;
}

void AddBoolRows(const char* column, const char* falseRow, const char* trueRow) {
    QTest::addColumn<bool>(column);
    QTest::newRow(falseRow) << false;
    QTest::newRow(trueRow) << true;
}

void AddPaletteRows() {
    AddBoolRows("dark", "light", "dark");
}

bool UseRowPalette() {
    QFETCH(bool, dark);
    if (dark) {
        QApplication::setPalette(DarkPalette());
    }
    return dark;
}

}  // namespace pixhaven::test
