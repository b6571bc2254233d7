#pragma once

#include <QIcon>

namespace kelmora::app {

enum class IconKind
{
    Program, // the program itself: windows, About box
    Idle,    // tray, nothing tracked
    Running, // tray, a task is tracked
};

// Drawn at every common size, so they stay crisp in a 16-pixel tray and on HiDPI screens alike.
QIcon MakeIcon(IconKind kind);

} // namespace kelmora::app
