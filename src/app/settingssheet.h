#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTabWidget;

namespace kelmora::platform {
class SettingsStore;
}

namespace kelmora::app {

// A message box with an OK button, owned by `owner`.
using ShowMessageFn = std::function<void(QWidget* owner, const QString& text, const QString& caption)>;

// What the settings pages need from the rest of the program.
struct SettingsSheetServices
{
    platform::SettingsStore& settings;
    // A warning box when not given.
    ShowMessageFn showMessage;
    // The idle-time source in use ("X11 screen saver"); empty when idle detection is not available here.
    QString idleSource;
};

// A page of the settings sheet. The sheet tells it when it becomes the shown page (read the values) and
// when it stops being that page, which includes OK and Apply while it is shown (store them).
class CPropertyPage : public QWidget
{
    Q_OBJECT

public:
    explicit CPropertyPage(QString caption, QWidget* parent = nullptr);

    const QString& Caption() const { return m_caption; }
    virtual void OnSetActive() {}
    // Stores the page's values; false keeps the page shown (the page has said why).
    virtual bool OnKillActive() { return true; }

private:
    QString m_caption;
};

// "Common": starting with the session, stopping at exit, the reminder, the Task List at start, and the tray
// menu's layout.
class CSettingsPage final : public CPropertyPage
{
    Q_OBJECT

public:
    explicit CSettingsPage(SettingsSheetServices services, QWidget* parent = nullptr);

    void OnSetActive() override;
    bool OnKillActive() override;

private:
    SettingsSheetServices m_services;
    QCheckBox* m_autostart;
    QCheckBox* m_autoStop;
    QCheckBox* m_remind;
    QCheckBox* m_showWindow;
    QRadioButton* m_usualMode;
    QRadioButton* m_quickMode;
    int m_menuMode = 0;
};

// "Timeouts": the idle and reminder timeouts in whole minutes, and whether idle spells are watched for.
class CTimeoutsPage final : public CPropertyPage
{
    Q_OBJECT

public:
    static constexpr int kMinMinutes = 1;
    static constexpr int kMaxMinutes = 1440;

    explicit CTimeoutsPage(SettingsSheetServices services, QWidget* parent = nullptr);

    void OnSetActive() override;
    bool OnKillActive() override;

private:
    // The minutes in `edit`, or refuses them with a message and puts the focus there.
    bool ReadMinutes(QLineEdit* edit, int& minutes);

    SettingsSheetServices m_services;
    QLineEdit* m_idleMinutes;
    QLineEdit* m_remindMinutes;
    QCheckBox* m_idleDetection;
    QLabel* m_idleSource;
};

// The modal "Settings" window: "Common", "Keyboard Shortcuts" and "Timeouts". A page's values are stored
// when it stops being the shown page, on Apply and on OK; Cancel stores nothing more but keeps what a page
// switch stored.
class CSettingsSheet final : public QDialog
{
    Q_OBJECT

public:
    // `shortcutsPage` comes from the layer that owns the hotkey table.
    CSettingsSheet(SettingsSheetServices services, std::unique_ptr<CPropertyPage> shortcutsPage,
                   QWidget* parent = nullptr);

    QTabWidget* Tabs() { return m_tabs; }
    CPropertyPage* Page(int index) const;
    // Stores the shown page; false when it refused to be left.
    bool Apply();

    void accept() override;

private:
    void OnCurrentChanged(int index);

    QTabWidget* m_tabs;
    std::vector<CPropertyPage*> m_pages;
    int m_current = 0;
    bool m_restoring = false;
};

// Runs the sheet modally and returns its result.
int RunSettingsSheet(QWidget* parent, SettingsSheetServices services, std::unique_ptr<CPropertyPage> shortcutsPage);

} // namespace kelmora::app
