#pragma once

#include <QDialog>

namespace kelmora::ui {

// Base of the dialogs that live for the whole run. Closing one through its title bar only hides it;
// owners create it once and bring it back with ShowDialog.
class CModelessDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CModelessDialog(QWidget* parent = nullptr);

    virtual void HideDialog();
    // Restores the window (also from minimised) and brings it to the front.
    virtual void ShowDialog();

protected:
    void closeEvent(QCloseEvent* event) override;
};

} // namespace kelmora::ui
