// Saves what a widget shows, so a person can look at each screen a test drove.
#pragma once

#include <QString>

class QWidget;

namespace pixhaven::test {

// Grabs `widget` into PIXHAVEN_SCREENSHOT_DIR/<name>.png (or screenshots/ in the working folder);
// returns the file written, empty when it could not be saved.
QString SaveScreenshot(QWidget& widget, const QString& name);

}  // namespace pixhaven::test
