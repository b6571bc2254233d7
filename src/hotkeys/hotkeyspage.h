#pragma once

#include "app/settingssheet.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QPushButton;
class QTreeWidget;

namespace kelmora::hotkeys {

class CHotkeyTable;
struct HotkeyEntry;

// "Edit Hotkey": a letter and the Alt, Ctrl and Shift modifiers for one entry. OK changes the entry; Escape or
// the close box leave it as it was.
class CEditHotkeyDlg final : public QDialog
{
    Q_OBJECT

public:
    CEditHotkeyDlg(HotkeyEntry& entry, const CHotkeyTable& table, app::ShowMessageFn showMessage,
                   QWidget* parent = nullptr);

    void accept() override;

private:
    HotkeyEntry& m_entry;
    const CHotkeyTable& m_table;
    app::ShowMessageFn m_showMessage;
    QComboBox* m_key;
    QCheckBox* m_alt;
    QCheckBox* m_ctrl;
    QCheckBox* m_shift;
};

// "Keyboard Shortcuts": the five commands with their combinations, each marked when it is not active.
// A Change takes effect at once: the table is registered again and written, whatever the dialog's answer
// and whatever button later closes the sheet.
class CHotkeysPage final : public app::CPropertyPage
{
    Q_OBJECT

public:
    // Runs the Edit Hotkey dialog modally; tests answer it instead.
    using EditRunner = std::function<int(CEditHotkeyDlg&)>;

    CHotkeysPage(CHotkeyTable& table, app::ShowMessageFn showMessage, EditRunner runEdit = {},
                 QWidget* parent = nullptr);

    void OnSetActive() override;
    void Change();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Fill();
    void UpdateButton();

    CHotkeyTable& m_table;
    app::ShowMessageFn m_showMessage;
    EditRunner m_runEdit;
    QTreeWidget* m_view;
    QPushButton* m_change;
    bool m_editing = false;
};

// The settings sheet with the Keyboard Shortcuts page on `table`.
int RunSettingsSheet(QWidget* parent, app::SettingsSheetServices services, CHotkeyTable& table);

} // namespace kelmora::hotkeys
