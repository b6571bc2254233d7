#include "program.h"

#include "aboutdlg.h"
#include "categorydialogs.h"
#include "taskdialogs.h"
#include "tasklistdlg.h"

#include "app/desktopservices.h"
#include "app/kelmoraapp.h"
#include "platform/paths.h"

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
    const auto namedFolder = platform::ProcessEnvironment()("KELMORA_DATA_DIR");
    if (commandLine.dataDir || (namedFolder && !namedFolder->empty())) {
        services.executableFolder.clear();
    }
    app::CKelmoraApp kelmora(platform::ResolveDataFolder(commandLine.dataDir, platform::ProcessEnvironment()),
                             std::move(services));
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &kelmora,
                     [&kelmora](QSessionManager&) { kelmora.OnSessionEnd(); });
    if (!kelmora.InitInstance()) {
        return kelmora.ExitInstance();
    }
    CCreateTaskDlg createTask(kelmora);
    createTask.SetCategoriesDialogRunner(CategoriesDialog(kelmora));
    CAboutDlg about(kelmora);
    kelmora.MainWnd()->SetCommandHandler(app::kCmdCreateTask, [&createTask] { createTask.ShowDialog(); });
    kelmora.MainWnd()->SetCommandHandler(app::kCmdAbout, [&about] { about.ShowDialog(); });
    QApplication::exec();
    return kelmora.ExitInstance();
}

} // namespace kelmora::ui
