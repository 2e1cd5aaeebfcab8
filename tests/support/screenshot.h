// Saves what a widget shows, so a person can look at each screen a test drove, in the light
// palette and a dark one.
#pragma once

#include <QPalette>
#include <QString>

class QWidget;

namespace pixhaven::test {

// Grabs `widget` into PIXHAVEN_SCREENSHOT_DIR/<name>.png (or screenshots/ in the working folder);
// returns the file written, empty when it could not be saved.
QString SaveScreenshot(QWidget& widget, const QString& name);

// A dark desktop palette: the skin paints every pixel itself, so screens must not change under it.
QPalette DarkPalette();

// The rows of a data-driven test over one bool column: `falseRow`, then `trueRow`.
void AddBoolRows(const char* column, const char* falseRow, const char* trueRow);

// The rows of a data-driven test run once per palette: bool "dark", rows "light" and "dark".
void AddPaletteRows();
// In such a test: sets the palette of the current row; true for the dark one.
bool UseRowPalette();

}  // namespace pixhaven::test
