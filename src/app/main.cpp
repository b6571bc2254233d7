#include "app/kelmoraapp.h"
#include "ui/program.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // Help, version, "/t" and a start without display end here, before any window system is needed.
    if (const auto exitCode = kelmora::app::RunWithoutWindows(argc, argv)) {
        return *exitCode;
    }
    QApplication application(argc, argv);
    return kelmora::ui::RunTrayProgram();
}
