#include "kelmoraapp.h"

#include "messages.h"

#include "model/datafolder.h"
#include "model/task.h"
#include "model/taskops.h"

#include <QCloseEvent>
#include <QCoreApplication>

namespace kelmora::app {

CommandLine ParseCommandLine(const QStringList& arguments)
{
    CommandLine result;
    // The terminate switch is the whole command line and nothing else; "/T" or "/t x" start normally.
    if (arguments == QStringList{QStringLiteral("/t")}) {
        result.terminate = true;
        return result;
    }
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QStringLiteral("--data-dir")) {
            if (i + 1 >= arguments.size()) {
                result.error = QStringLiteral("--data-dir needs a folder.");
                return result;
            }
            result.dataDir = std::filesystem::path(arguments[++i].toStdString());
        } else if (argument.startsWith(QStringLiteral("--data-dir="))) {
            result.dataDir = std::filesystem::path(argument.mid(11).toStdString());
        }
        // Anything else starts the program normally, as it always has.
    }
    return result;
}

bool RunTerminateMode(platform::SingleInstance& instance, const std::function<void()>& wait,
                      const std::function<bool(std::int64_t pid)>& kill)
{
    instance.send(platform::SingleInstance::Request::Terminate, std::chrono::seconds(2));
    for (int round = 0; round < 10; ++round) {
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
        model::MigrateOldData(m_services.executableFolder, m_dataFolder);
    }
    if (!m_services.instance->tryAcquire()) {
        // Another instance runs for this user: it shows its Task List window and this start ends.
        m_services.instance->send(platform::SingleInstance::Request::Activate, std::chrono::seconds(2));
        m_exitCode = 0;
        return false;
    }

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
    connect(m_services.instance.get(), &platform::SingleInstance::terminateRequested, m_mainWnd.get(),
            [this] { QCoreApplication::postEvent(m_mainWnd.get(), new QCloseEvent()); });

    if (CurrentTaskId() != -1) {
        PostMessage(m_mainWnd.get(), kMsgTaskState, kRunningIconId);
    }
    if (platform::GetSetting(Settings(), platform::setting::kShowWindow) != 0) {
        PostMessage(m_mainWnd.get(), kMsgShowTaskList);
    }
    return true;
}

int CKelmoraApp::ExitInstance()
{
    if (m_store != nullptr && CurrentTaskId() != -1) {
        model::Task task;
        task.id = CurrentTaskId();
        task.Load(m_dataFolder);
        if (platform::GetSetting(Settings(), platform::setting::kAutoStop) != 0) {
            StopTaskAndSave(task.id);
        } else if (m_services.askYesNo(QStringLiteral("Task '%1' is still running. Do you want to stop it now?")
                                           .arg(QString::fromStdString(task.name)),
                                       QStringLiteral("Running task"))) {
            StopTaskAndSave(task.id);
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

void CKelmoraApp::OnSessionEnd()
{
    if (m_store == nullptr || CurrentTaskId() == -1) {
        return;
    }
    if (platform::GetSetting(Settings(), platform::setting::kAutoStop) != 0) {
        StopTaskAndSave(CurrentTaskId());
    }
}

void CKelmoraApp::ShowMessage(QWidget* owner, const QString& text, const QString& caption)
{
    if (m_services.showMessage) {
        m_services.showMessage(owner, text, caption);
    }
}

bool CKelmoraApp::AskYesNo(QWidget* owner, const QString& text, const QString& caption)
{
    if (m_services.askYesNoOwned) {
        return m_services.askYesNoOwned(owner, text, caption);
    }
    return m_services.askYesNo && m_services.askYesNo(text, caption);
}

void CKelmoraApp::StopTaskAndSave(std::int32_t id)
{
    std::string error;
    if (!model::StopTask(m_dataFolder, id, &error)) {
        m_services.showError(
            QStringLiteral("The running task could not be stopped:\n%1").arg(QString::fromStdString(error)));
    }
}

} // namespace kelmora::app
