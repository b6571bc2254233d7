#pragma once

#include "mainwnd.h"

#include "model/taskstore.h"
#include "platform/settingsstore.h"
#include "platform/shellopener.h"
#include "platform/singleinstance.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace kelmora::app {

// What the command line asks for.
struct CommandLine
{
    // Exactly "/t": end the running instance instead of starting.
    bool terminate = false;
    std::optional<std::filesystem::path> dataDir;
    // Set when the arguments cannot be understood; the program then explains and ends.
    QString error;
};

// `arguments` without the program name, as left after Qt took its own.
CommandLine ParseCommandLine(const QStringList& arguments);

// Asks the running instance to close; if it is still there after ten one-second waits, ends it by the
// process id its instance lock records (only when that process is this user's Kelmora).
// `wait` stands for one second's pause, so tests need not wait for real.
// Returns true when no instance runs any more.
bool RunTerminateMode(platform::SingleInstance& instance, const std::function<void()>& wait,
                      const std::function<bool(std::int64_t pid)>& kill);

// The application: start-up, the process-wide state (task store, current task, hub) and shutdown.
class CKelmoraApp final : public QObject
{
    Q_OBJECT

public:
    // The operating-system services and the user questions, replaceable in tests.
    struct Services
    {
        std::unique_ptr<platform::SettingsStore> settings;
        std::unique_ptr<platform::SingleInstance> instance;
        std::unique_ptr<platform::ShellOpener> shell;
        // A Yes/No question without owner window; true for Yes.
        std::function<bool(const QString& text, const QString& caption)> askYesNo;
        // A Yes/No question owned by a window; true for Yes. Falls back to askYesNo when not given.
        std::function<bool(QWidget* owner, const QString& text, const QString& caption)> askYesNoOwned;
        std::function<void(const QString& text)> showError;
        // A message box with an OK button, owned by `owner` (may be null).
        std::function<void(QWidget* owner, const QString& text, const QString& caption)> showMessage;
        CMainWnd::TaskListFactory taskListFactory;
        std::filesystem::path executableFolder;
    };

    CKelmoraApp(std::filesystem::path dataFolder, Services services);
    ~CKelmoraApp() override;

    // True: run the event loop. False: end at once with ExitCode() (a second start, or a failure).
    bool InitInstance();
    // Settles the running task and releases the instance slot. Returns the exit code.
    int ExitInstance();
    int ExitCode() const { return m_exitCode; }

    // Tells the user something through a message box with an OK button.
    void ShowMessage(QWidget* owner, const QString& text, const QString& caption);
    // A Yes/No question; true for Yes.
    bool AskYesNo(QWidget* owner, const QString& text, const QString& caption);

    // When the desktop session ends: with "AutoStop" set, the running task is stopped and saved.
    // The current task stays current, as the program may go on running.
    void OnSessionEnd();

    model::TaskStore& Store() { return *m_store; }
    platform::SettingsStore& Settings() { return *m_services.settings; }
    platform::ShellOpener& Shell() { return *m_services.shell; }
    CMainWnd* MainWnd() { return m_mainWnd.get(); }
    const std::filesystem::path& DataFolder() const { return m_dataFolder; }

    // The tracked task, -1 when none. Read from background loops as well.
    std::int32_t CurrentTaskId() const { return m_currentTaskId.load(); }
    void SetCurrentTaskId(std::int32_t id) { m_currentTaskId.store(id); }

private:
    void StopTaskAndSave(std::int32_t id);

    std::filesystem::path m_dataFolder;
    Services m_services;
    std::unique_ptr<model::TaskStore> m_store;
    std::unique_ptr<CMainWnd> m_mainWnd;
    std::atomic<std::int32_t> m_currentTaskId{-1};
    int m_exitCode = 0;
};

} // namespace kelmora::app
