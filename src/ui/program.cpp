#include "program.h"

#include "aboutdlg.h"
#include "categorydialogs.h"
#include "taskdialogs.h"
#include "tasklistdlg.h"

#include "app/desktopservices.h"
#include "app/kelmoraapp.h"
#include "app/trayicon.h"
#include "hotkeys/hotkeyspage.h"
#include "hotkeys/hotkeytable.h"
#include "idle/idlesubsystem.h"
#include "model/userfolders.h"
#include "platform/globalshortcuts.h"
#include "platform/idletimesource.h"
#include "reports/export.h"
#include "reports/report.h"

#include <QApplication>
#include <QSessionManager>

#include <clocale>

namespace kelmora::ui {

namespace {

CategoriesDialogRunner CategoriesDialog(app::CKelmoraApp& app)
{
    return [&app](QWidget* owner) {
        CCategoriesDlg dialog(app, owner);
        return dialog.exec() == QDialog::Accepted;
    };
}

std::unique_ptr<app::TaskListWindow> MakeTaskList(app::CMainWnd& mainWnd)
{
    app::CKelmoraApp& app = mainWnd.App();
    CTaskListDlg::Dialogs dialogs;
    dialogs.editTask = [&app](std::int32_t taskId, QWidget* owner) {
        CEditTaskDlg dialog(app, taskId, owner);
        dialog.SetCategoriesDialogRunner(CategoriesDialog(app));
        dialog.exec();
    };
    dialogs.editInterval = [&app](const model::Interval& interval, QWidget* owner,
                                  const std::function<bool(const model::Interval&)>& save) {
        CTimePeriodDlg dialog(app, owner);
        dialog.SetInterval(interval);
        dialog.SetSaver(save);
        dialog.exec();
    };
    dialogs.categories = CategoriesDialog(app);
    dialogs.report = [&app](QWidget* owner) { reports::RunReportDialog(app, owner); };
    dialogs.exportTimeLog = [&app](QWidget* owner, int periodIndex) {
        reports::RunExportDialog(app, periodIndex, owner);
    };
    return std::make_unique<CTaskListDlg>(mainWnd, std::move(dialogs));
}

} // namespace

int RunTrayProgram()
{
    // Qt sets the locale from the environment; the calendar (first day of the week) follows it.
    std::setlocale(LC_ALL, "");
    QApplication::setApplicationName(QStringLiteral("Kelmora"));
    QApplication::setQuitOnLastWindowClosed(false);

    const app::CommandLine commandLine = app::ParseCommandLine(QApplication::arguments().mid(1));
    app::CKelmoraApp::Services services = app::DesktopServices();
    services.taskListFactory = MakeTaskList;
    // Old data beside the executable belongs in the default folder only: a folder named for a test or a
    // second profile must not swallow it.
    const auto namedFolder = model::ProcessEnvironment()("KELMORA_DATA_DIR");
    if (commandLine.dataDir || (namedFolder && !namedFolder->empty())) {
        services.executableFolder.clear();
    }
    app::CKelmoraApp kelmora(model::ResolveDataFolder(commandLine.dataDir, model::ProcessEnvironment()),
                             std::move(services));
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &kelmora,
                     [&kelmora](QSessionManager&) { kelmora.OnSessionEnd(); });
    if (!kelmora.InitInstance()) {
        return kelmora.ExitInstance();
    }
    app::CMainWnd& hub = *kelmora.MainWnd();
    CCreateTaskDlg createTask(kelmora);
    createTask.SetCategoriesDialogRunner(CategoriesDialog(kelmora));
    CAboutDlg about(kelmora);
    hub.SetCommandHandler(app::kCmdCreateTask, [&createTask] { createTask.ShowDialog(); });
    hub.SetCommandHandler(app::kCmdAbout, [&about] { about.ShowDialog(); });
    // The hub has worked out the calendar period already; the page is the one the index would give.
    hub.SetReportHandler([&kelmora](const model::Interval& period) {
        reports::ShowReport(kelmora, reports::PreparePeriodReport(kelmora.Store(), period), nullptr);
    });

    idle::CIdleSubsystem idleSubsystem(idle::MakeIdleContext(kelmora), platform::createIdleTimeSource(),
                                       std::make_unique<platform::SystemUptimeClocks>());
    hub.SetIdleMessageHandler(
        [&idleSubsystem](std::int64_t wParam, std::int64_t lParam) { idleSubsystem.OnIdleMessage(wParam, lParam); });
    // No idle question or reminder may come up between the close path and the exit's question.
    QObject::connect(&hub, &app::CMainWnd::Closed, &idleSubsystem, &idle::CIdleSubsystem::Shutdown);

    // A file that exists but cannot be used registers nothing, and stays for the user to mend or replace.
    std::unique_ptr<platform::GlobalShortcuts> shortcuts = platform::createGlobalShortcuts();
    auto hotkeyTable = std::make_unique<hotkeys::CHotkeyTable>(kelmora.DataFolder(), *shortcuts);
    if (hotkeyTable->LoadHotkeys()) {
        hotkeyTable->RegisterAll();
    }
    QObject::connect(shortcuts.get(), &platform::GlobalShortcuts::activated, &hub, &app::CMainWnd::OnHotKey);
    app::CTrayIcon& tray = *hub.TrayIcon();
    tray.SetStopShortcutText([&hotkeyTable] { return hotkeyTable->ActiveText(app::kHotkeyStopTask); });
    QObject::connect(shortcuts.get(), &platform::GlobalShortcuts::statusChanged, &tray, &app::CTrayIcon::RebuildMenu);

    const std::string idleSource = idleSubsystem.IdleSourceName();
    bool settingsOpen = false;
    hub.SetCommandHandler(app::kCmdSettings, [&] {
        // The settings hotkey pressed again while the sheet is open must not stack a second sheet on it.
        if (settingsOpen) {
            return;
        }
        settingsOpen = true;
        // The pages refuse entries under captions of their own and name a failure "Error".
        const app::ShowMessageFn showMessage = [&kelmora](QWidget* owner, const QString& text, const QString& caption) {
            kelmora.ShowMessage(owner, text, caption,
                                caption == app::kErrorCaption ? app::MessageIcon::Error : app::MessageIcon::Warning);
        };
        hotkeys::RunSettingsSheet(
            nullptr,
            {kelmora.Settings(), showMessage, idleSource == "none" ? QString() : QString::fromStdString(idleSource)},
            *hotkeyTable);
        settingsOpen = false;
    });

    idleSubsystem.Start();
    QApplication::exec();
    // Before the exit asks about a running task: no loop posts any more and no idle question stays open.
    idleSubsystem.Shutdown();
    // The handlers must not outlive what they use; the table goes before the service it registered with.
    tray.SetStopShortcutText(nullptr);
    hotkeyTable->UnregisterAll();
    hotkeyTable.reset();
    shortcuts.reset();
    return kelmora.ExitInstance();
}

} // namespace kelmora::ui
