#include "ui/modelessdialog.h"

#include <QCloseEvent>
#include <QCoreApplication>

#include <gtest/gtest.h>

namespace kelmora::ui {
namespace {

TEST(ModelessDialog, ClosingOnlyHidesAndShowDialogRestores)
{
    CModelessDialog dialog;
    dialog.ShowDialog();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.close()) << "the close is refused: the dialog lives on";
    EXPECT_FALSE(dialog.isVisible());
    dialog.showMinimized();
    dialog.ShowDialog();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.windowState() & Qt::WindowMinimized);
    dialog.HideDialog();
    EXPECT_FALSE(dialog.isVisible());
}

} // namespace
} // namespace kelmora::ui
