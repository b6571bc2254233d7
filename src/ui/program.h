#pragma once

namespace kelmora::ui {

// The tray program with all its windows, once the command line has asked for it: runs until it closes
// and returns the exit code. Needs the QApplication to exist.
int RunTrayProgram();

} // namespace kelmora::ui
