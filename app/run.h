// The program's start-up, main window and shutdown, callable from tests as well as from main().
#pragma once

namespace pixhaven::app {

// Runs the program inside an existing QApplication: folders, settings, the single-instance lock,
// then the main window as a modal dialog. Returns the dialog's result, or 0 at once when another
// copy is already running.
int Run();

}  // namespace pixhaven::app
