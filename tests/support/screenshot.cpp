#include "tests/support/screenshot.h"

#include <QDir>
#include <QPixmap>
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

}  // namespace pixhaven::test
