#include "kelmoraapp.h"

#include "messages.h"

#include "model/datafolder.h"
#include "model/folderlock.h"
#include "model/task.h"
#include "model/taskops.h"
#include "model/userfolders.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <vector>

#ifndef KELMORA_VERSION
#error "KELMORA_VERSION must come from the build"
#endif

namespace kelmora::app {

CommandLine ParseCommandLine(const QStringList& arguments)
{
    CommandLine result;
    QStringList words;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QStringLiteral("--help") || argument == QStringLiteral("-h")) {
            result.help = true;
        } else if (argument == QStringLiteral("--version")) {
            result.version = true;
        } else if (argument == QStringLiteral("--data-dir")) {
            if (i + 1 >= arguments.size()) {
                result.error = QStringLiteral("--data-dir needs a folder.");
                return result;
            }
            result.dataDir = std::filesystem::path(arguments[++i].toStdString());
        } else if (argument.startsWith(QStringLiteral("--data-dir="))) {
            result.dataDir = std::filesystem::path(argument.mid(11).toStdString());
        } else if (argument.size() > 1 && argument.startsWith(u'-')) {
            // A mistyped option would otherwise start the program without what it asked for, unnoticed.
            result.error = QStringLiteral("unknown option %1").arg(argument);
            return result;
        } else {
            words.push_back(argument);
        }
    }
    // Beside the options, "/t" must be the only word; "/T" or "/t x" start the program as they always have.
    result.terminate = words == QStringList{QStringLiteral("/t")};
    return result;
}

QString UsageText()
{
    return QStringLiteral("Usage: kelmora [--data-dir FOLDER]\n"
                          "       kelmora [--data-dir FOLDER] /t\n"
                          "Kelmora tracks the time you spend on your tasks from the notification area.\n\n"
                          "  --data-dir FOLDER  keep the data in FOLDER (default: $KELMORA_DATA_DIR, else\n"
                          "                     $XDG_DATA_HOME/Kelmora)\n"
                          "  /t                 close the running Kelmora and end\n"
                          "  --help             show this help and end\n"
                          "  --version          show the version and end\n\n"
                          "kelmora-cli works on the same data from a terminal.\n");
}

QString VersionText()
{
    return QStringLiteral("kelmora " KELMORA_VERSION "\n");
}

namespace {

bool HasDisplay()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

} // namespace

std::optional<QString> OtherInstanceFolder(platform::SingleInstance& instance, const std::filesystem::path& folder)
{
    const std::optional<QString> theirs = instance.queryDataFolder(std::chrono::seconds(2));
    std::error_code error;
    if (!theirs || theirs->isEmpty() || std::filesystem::equivalent(theirs->toStdString(), folder, error)) {
        return std::nullopt;
    }
    return theirs;
}

QString AlreadyRunningText(const QString& runningFolder, const std::filesystem::path& folder)
{
    return QStringLiteral("Kelmora is already running with the data folder %1.\nTo work on %2, end it first "
                          "(\"kelmora /t\").")
        .arg(runningFolder, QString::fromStdString(folder.string()));
}

std::optional<int> RunWithoutWindows(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(QString::fromLocal8Bit(argv[i]));
    }
    const CommandLine commandLine = ParseCommandLine(arguments);
    if (!commandLine.error.isEmpty()) {
        std::fprintf(stderr, "kelmora: %s\n%s", qPrintable(commandLine.error), qPrintable(UsageText()));
        return 2;
    }
    if (commandLine.help || commandLine.version) {
        std::fputs(qPrintable(commandLine.help ? UsageText() : VersionText()), stdout);
        return 0;
    }
    // Talking to the running instance needs an application object, but no display.
    std::optional<QCoreApplication> application;
    const auto needApplication = [&] {
        if (QCoreApplication::instance() == nullptr) {
            application.emplace(argc, argv);
        }
    };
    if (commandLine.terminate) {
        needApplication();
        const auto instance = platform::createSingleInstance();
        return RunTerminateMode(
                   *instance, [] { QThread::sleep(1); },
                   [](std::int64_t pid) { return ::kill(static_cast<pid_t>(pid), SIGKILL) == 0; })
                   ? 0
                   : 1;
    }
    if (!HasDisplay()) {
        needApplication();
        const std::filesystem::path folder = model::ResolveDataFolder(commandLine.dataDir, model::ProcessEnvironment());
        const auto running =
            folder.empty() ? std::nullopt : OtherInstanceFolder(*platform::createSingleInstance(), folder);
        if (running) {
            std::fprintf(stderr, "kelmora: %s\n", qPrintable(AlreadyRunningText(*running, folder)));
            return 1;
        }
        std::fprintf(stderr, "kelmora: no graphical display is available (DISPLAY and WAYLAND_DISPLAY are unset).\n"
                             "Start it from a desktop session, or use kelmora-cli to work on the same data "
                             "from a terminal.\n");
        return 1;
    }
    return std::nullopt;
}

bool RunTerminateMode(platform::SingleInstance& instance, const std::function<void()>& wait,
                      const std::function<bool(std::int64_t pid)>& kill,
                      const std::function<std::chrono::milliseconds()>& now)
{
    using std::chrono::milliseconds;
    const auto clock = now ? now : [] {
        return std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
    };
    const milliseconds before = clock();
    instance.send(platform::SingleInstance::Request::Terminate, std::chrono::seconds(2));
    // The ten seconds are for the whole wait: a request that had to time out against a stopped instance
    // used up part of them already.
    const auto spent = std::chrono::ceil<std::chrono::seconds>(clock() - before);
    const int rounds = 10 - static_cast<int>(std::min<std::int64_t>(spent.count(), 10));
    for (int round = 0; round < rounds; ++round) {
        wait();
        if (!instance.runningInstancePid()) {
            return true;
        }
    }
    // The pid comes from this user's instance lock and is checked to be a Kelmora of this user, so a
    // recycled pid or another user's program is never hit.
    if (const auto pid = instance.runningInstancePid()) {
        return kill(*pid);
    }
    return true;
}

CKelmoraApp::CKelmoraApp(std::filesystem::path dataFolder, Services services)
    : m_dataFolder(std::move(dataFolder)), m_services(std::move(services))
{}

CKelmoraApp::~CKelmoraApp() = default;

bool CKelmoraApp::InitInstance()
{
    std::string error;
    if (m_dataFolder.empty() || !model::EnsureDataFolder(m_dataFolder, &error)) {
        m_services.showError(QStringLiteral("Kelmora cannot use its data folder %1:\n%2")
                                 .arg(QString::fromStdString(m_dataFolder.string()), QString::fromStdString(error)));
        m_exitCode = 1;
        return false;
    }
    if (model::HasOldData(m_services.executableFolder)) {
        std::vector<std::string> stayed;
        {
            // Moving files in is a change of the folder like any other.
            const model::FolderLock lock(m_dataFolder);
            model::MigrateOldData(m_services.executableFolder, m_dataFolder, &stayed);
        }
        if (!stayed.empty()) {
            QStringList names;
            for (const std::string& name : stayed) {
                names.push_back(QString::fromStdString(name));
            }
            m_services.showError(QStringLiteral("These files of older Kelmora data could not be moved from %1 into "
                                                "the data folder %2: %3.\nThey stay where they are, and Kelmora tries "
                                                "again at its next start.")
                                     .arg(QString::fromStdString(m_services.executableFolder.string()),
                                          QString::fromStdString(m_dataFolder.string()),
                                          names.join(QStringLiteral(", "))));
        }
    }
    if (!m_services.instance->tryAcquire()) {
        // Another instance runs for this user: it shows its Task List window and this start ends. Its window
        // shows its own folder's tasks, which must not pass for those of the folder this start was given.
        if (const auto running = OtherInstanceFolder(*m_services.instance, m_dataFolder)) {
            m_services.showError(AlreadyRunningText(*running, m_dataFolder));
            m_exitCode = 1;
            return false;
        }
        m_services.instance->send(platform::SingleInstance::Request::Activate, std::chrono::seconds(2));
        m_exitCode = 0;
        return false;
    }
    std::error_code canonicalError;
    const std::filesystem::path canonical = std::filesystem::canonical(m_dataFolder, canonicalError);
    m_services.instance->setDataFolder(QString::fromStdString((canonicalError ? m_dataFolder : canonical).string()));

    m_store = std::make_unique<model::TaskStore>(m_dataFolder);
    if (!m_store->Load(&error)) {
        // The task files are listed even when the category file is damaged; the program runs with what
        // it has rather than refusing to start.
        qWarning("Kelmora: %s", error.c_str());
    }
    SetCurrentTaskId(model::FindRunningTask(*m_store));

    m_mainWnd = std::make_unique<CMainWnd>(*this, m_services.taskListFactory);
    connect(m_services.instance.get(), &platform::SingleInstance::activateRequested, m_mainWnd.get(),
            [this] { PostMessage(m_mainWnd.get(), kMsgShowTaskList); });
    connect(m_services.instance.get(), &platform::SingleInstance::terminateRequested, m_mainWnd.get(), [this] {
        // "kelmora /t" ends this program after ten seconds whatever happens, and nobody may be at the screen:
        // the close asks nothing, and a question of an exit already under way goes unanswered.
        m_closedFromOutside = true;
        if (m_mainWnd->IsClosed()) {
            CMainWnd::CloseOpenWindows();
        } else {
            QCoreApplication::postEvent(m_mainWnd.get(), new QCloseEvent());
        }
    });

    if (CurrentTaskId() != -1) {
        PostMessage(m_mainWnd.get(), kMsgTaskState, kRunningIconId);
    }
    if (platform::GetSetting(Settings(), platform::setting::kShowWindow) != 0 || !TrayAvailable()) {
        PostMessage(m_mainWnd.get(), kMsgShowTaskList);
    }
    if (!TrayAvailable()) {
        // Without a tray the program would run with no sign of life at all; the window stands in for the
        // icon, and the user learns why once. The icon appears by itself when a tray shows up later.
        QTimer::singleShot(0, m_mainWnd.get(), [this] {
            ShowMessage(nullptr,
                        QStringLiteral("Kelmora found no notification area (system tray) on this desktop, so it "
                                       "shows its Task List window instead. Closing the window minimises it; to "
                                       "end Kelmora, run \"kelmora /t\"."),
                        QStringLiteral("Kelmora"));
        });
    }
    return true;
}

int CKelmoraApp::ExitInstance()
{
    if (m_store != nullptr && CurrentTaskId() != -1) {
        model::Task task;
        task.id = CurrentTaskId();
        task.Load(m_dataFolder);
        // Closed from outside, the task is settled as when the session ends: stopped only with AutoStop.
        if (platform::GetSetting(Settings(), platform::setting::kAutoStop) != 0) {
            StopTaskAndSave();
        } else if (!m_closedFromOutside &&
                   m_services.askYesNo(QStringLiteral("Task '%1' is still running. Do you want to stop it now?")
                                           .arg(QString::fromStdString(task.name)),
                                       QStringLiteral("Running task"))) {
            StopTaskAndSave();
        }
        // "No" leaves the span open in the file; the next start makes the task current again.
    }
    m_mainWnd.reset();
    m_store.reset();
    if (m_services.instance != nullptr) {
        m_services.instance->release();
    }
    return m_exitCode;
}

void CKelmoraApp::ReloadStore()
{
    // In place, never a new object: the idle and reminder loops hold the store by reference on their threads.
    std::string error;
    if (m_store != nullptr && !m_store->Reload(&error)) {
        qWarning("Kelmora: %s", error.c_str());
    }
}

void CKelmoraApp::OnSessionEnd()
{
    if (m_store == nullptr || CurrentTaskId() == -1) {
        return;
    }
    if (platform::GetSetting(Settings(), platform::setting::kAutoStop) != 0) {
        StopTaskAndSave();
    }
}

void CKelmoraApp::ShowMessage(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon)
{
    if (m_services.showMessage) {
        m_services.showMessage(owner, text, caption, icon);
    }
}

bool CKelmoraApp::AskYesNo(QWidget* owner, const QString& text, const QString& caption)
{
    return m_services.ask && m_services.ask(owner, text, caption, false) == Answer::Yes;
}

Answer CKelmoraApp::AskYesNoCancel(QWidget* owner, const QString& text, const QString& caption)
{
    return m_services.ask ? m_services.ask(owner, text, caption, true) : Answer::Cancel;
}

void CKelmoraApp::StopTaskAndSave()
{
    std::string error;
    // Whatever the files show running is stopped: another program may have switched tasks meanwhile.
    if (!model::StopTask(m_dataFolder, model::kAnyTask, &error, nullptr, {CacheFolder()})) {
        m_services.showError(
            QStringLiteral("The running task could not be stopped:\n%1").arg(QString::fromStdString(error)));
    }
}

} // namespace kelmora::app
