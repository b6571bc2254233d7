#include "modelessdialog.h"

#include <QCloseEvent>

namespace kelmora::ui {

CModelessDialog::CModelessDialog(QWidget* parent) : QDialog(parent) {}

void CModelessDialog::HideDialog()
{
    hide();
}

void CModelessDialog::ShowDialog()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void CModelessDialog::closeEvent(QCloseEvent* event)
{
    event->ignore();
    HideDialog();
}

} // namespace kelmora::ui
