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
    // "--help" or "--version": print and end without starting.
    bool help = false;
    bool version = false;
    std::optional<std::filesystem::path> dataDir;
    // Set when the arguments cannot be understood; the program then explains and ends.
    QString error;
};

// `arguments` without the program name. Options may come in any order, before or after "/t".
CommandLine ParseCommandLine(const QStringList& arguments);
QString UsageText();
QString VersionText();

// What the command line asks for that needs no window: help, version, a refused argument, "/t", or a start
// without any display. The exit code when the program ends here; nothing when it is to start.
std::optional<int> RunWithoutWindows(int argc, char** argv);

// The data folder of the instance holding `instance`'s slot, when it is not `folder`: a start on `folder` must
// then not hand over to it. Nothing when they are the same, or no instance says.
std::optional<QString> OtherInstanceFolder(platform::SingleInstance& instance, const std::filesystem::path& folder);
// "Kelmora is already running with the data folder …", for a start on `folder`.
QString AlreadyRunningText(const QString& runningFolder, const std::filesystem::path& folder);

// Asks the running instance to close; if it is still there when ten seconds have passed (the time the
// request itself took included), ends it by the process id its instance lock records (only when that
// process is this user's Kelmora). `wait` stands for one second's pause and `now` for a monotonic clock,
// so tests need not wait for real. Returns true when no instance runs any more.
bool RunTerminateMode(platform::SingleInstance& instance, const std::function<void()>& wait,
                      const std::function<bool(std::int64_t pid)>& kill,
                      const std::function<std::chrono::milliseconds()>& now = nullptr);

// The answer to a question. A question closed without choosing (Escape, or the program closing) answers
// Cancel when it offers Cancel, else No: never the answer that changes data.
enum class Answer
{
    Yes,
    No,
    Cancel,
};

// The icon of a message box: something the user is told, warned of (an entry refused, a file left out), or a
// failure.
enum class MessageIcon
{
    Information,
    Warning,
    Error,
};

// The caption of the program's error boxes.
inline const QString kErrorCaption = QStringLiteral("Error");

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
        // The exit question: Yes/No without owner window, Yes the default; true for Yes.
        std::function<bool(const QString& text, const QString& caption)> askYesNo;
        // A question owned by a window, Yes/No or Yes/No/Cancel, with No the default answer.
        std::function<Answer(QWidget* owner, const QString& text, const QString& caption, bool withCancel)> ask;
        // Whether the desktop shows tray icons now.
        std::function<bool()> trayAvailable;
        std::function<void(const QString& text)> showError;
        // A message box with an OK button, owned by `owner` (may be null).
        std::function<void(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon)> showMessage;
        CMainWnd::TaskListFactory taskListFactory;
        std::filesystem::path executableFolder;
        // Where the facts of the task files are kept between runs (see model::GatherTaskFacts); empty for none.
        std::filesystem::path cacheFolder;
    };

    CKelmoraApp(std::filesystem::path dataFolder, Services services);
    ~CKelmoraApp() override;

    // True: run the event loop. False: end at once with ExitCode() (a second start, or a failure).
    bool InitInstance();
    // Settles the running task and releases the instance slot. Returns the exit code.
    int ExitInstance();
    int ExitCode() const { return m_exitCode; }

    // Tells the user something through a message box with an OK button.
    void ShowMessage(QWidget* owner, const QString& text, const QString& caption,
                     MessageIcon icon = MessageIcon::Information);
    // A Yes/No question, No the default; true for Yes.
    bool AskYesNo(QWidget* owner, const QString& text, const QString& caption);
    // A Yes/No/Cancel question, No the default, Escape Cancel.
    Answer AskYesNoCancel(QWidget* owner, const QString& text, const QString& caption);
    bool TrayAvailable() const { return !m_services.trayAvailable || m_services.trayAvailable(); }

    // When the desktop session ends: with "AutoStop" set, the running task is stopped and saved.
    // The current task stays current, as the program may go on running.
    void OnSessionEnd();

    model::TaskStore& Store() { return *m_store; }
    // Reads the task store afresh from the folder, for changes made by other programs. References to the
    // previous store become invalid.
    void ReloadStore();
    platform::SettingsStore& Settings() { return *m_services.settings; }
    platform::ShellOpener& Shell() { return *m_services.shell; }
    CMainWnd* MainWnd() { return m_mainWnd.get(); }
    const std::filesystem::path& DataFolder() const { return m_dataFolder; }
    const std::filesystem::path& CacheFolder() const { return m_services.cacheFolder; }

    // The tracked task, -1 when none. Read from background loops as well.
    std::int32_t CurrentTaskId() const { return m_currentTaskId.load(); }
    void SetCurrentTaskId(std::int32_t id) { m_currentTaskId.store(id); }

private:
    void StopTaskAndSave();

    std::filesystem::path m_dataFolder;
    Services m_services;
    std::unique_ptr<model::TaskStore> m_store;
    std::unique_ptr<CMainWnd> m_mainWnd;
    std::atomic<std::int32_t> m_currentTaskId{-1};
    int m_exitCode = 0;
    // A later start asked this instance to close ("kelmora /t").
    bool m_closedFromOutside = false;
};

} // namespace kelmora::app
