#include "app/kelmoraapp.h"
#include "platform/paths.h"
#include "ui/aboutdlg.h"
#include "ui/categorydialogs.h"
#include "ui/taskdialogs.h"
#include "ui/tasklistdlg.h"

#include <QApplication>
#include <QMessageBox>
#include <QSessionManager>
#include <QThread>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace kelmora;

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

QStringList ArgumentsWithoutProgram(const QCoreApplication& application)
{
    QStringList arguments = application.arguments();
    arguments.removeFirst();
    return arguments;
}

int Terminate()
{
    const auto instance = platform::createSingleInstance();
    const bool ended = app::RunTerminateMode(
        *instance, [] { QThread::sleep(1); },
        [](std::int64_t pid) { return ::kill(static_cast<pid_t>(pid), SIGKILL) == 0; });
    return ended ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    // "/t" needs no display: it only talks to the running instance.
    if (argc == 2 && std::string_view(argv[1]) == "/t") {
        QCoreApplication application(argc, argv);
        return Terminate();
    }
    if (!HasDisplay()) {
        std::fprintf(stderr, "kelmora: no graphical display is available (DISPLAY and WAYLAND_DISPLAY are unset).\n"
                             "Start it from a desktop session, or use kelmora-cli to work on the same data "
                             "from a terminal.\n");
        return 1;
    }
    QApplication application(argc, argv);
    // Qt sets the locale from the environment; the calendar (first day of the week) follows it.
    std::setlocale(LC_ALL, "");
    QApplication::setApplicationName(QStringLiteral("Kelmora"));
    QApplication::setQuitOnLastWindowClosed(false);

    const app::CommandLine commandLine = app::ParseCommandLine(ArgumentsWithoutProgram(application));
    if (!commandLine.error.isEmpty()) {
        std::fprintf(stderr, "kelmora: %s\n", qPrintable(commandLine.error));
        return 2;
    }

    app::CKelmoraApp::Services services;
    services.settings = platform::createSettingsStore();
    services.instance = platform::createSingleInstance();
    services.shell = platform::createShellOpener();
    services.askYesNo = [](const QString& text, const QString& caption) {
        return QMessageBox::question(nullptr, caption, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    services.showError = [](const QString& text) { QMessageBox::critical(nullptr, QStringLiteral("Error"), text); };
    services.showMessage = [](QWidget* owner, const QString& text, const QString& caption) {
        QMessageBox::information(owner, caption, text);
    };
    services.askYesNoOwned = [](QWidget* owner, const QString& text, const QString& caption) {
        return QMessageBox::question(owner, caption, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    // The windows above the application layer, reached from the hub and the Task List window.
    const auto categoriesDialog = [](app::CKelmoraApp& app) {
        return [&app](QWidget* owner) {
            ui::CCategoriesDlg dialog(app, owner);
            return dialog.exec() == QDialog::Accepted;
        };
    };
    services.taskListFactory = [categoriesDialog](app::CMainWnd& mainWnd) {
        app::CKelmoraApp& app = mainWnd.App();
        ui::CTaskListDlg::Dialogs dialogs;
        dialogs.editTask = [&app, categoriesDialog](std::int32_t taskId, QWidget* owner) {
            ui::CEditTaskDlg dialog(app, taskId, owner);
            dialog.SetCategoriesDialogRunner(categoriesDialog(app));
            dialog.exec();
        };
        dialogs.editInterval = [&app](const model::Interval& interval, QWidget* owner) {
            ui::CTimePeriodDlg dialog(app, owner);
            dialog.SetInterval(interval);
            model::Interval edited;
            if (dialog.exec() == QDialog::Accepted && dialog.GetInterval(edited)) {
                return std::optional<model::Interval>(edited);
            }
            return std::optional<model::Interval>();
        };
        dialogs.categories = categoriesDialog(app);
        return std::make_unique<ui::CTaskListDlg>(mainWnd, std::move(dialogs));
    };
    services.executableFolder = platform::ExecutableFolder();

    app::CKelmoraApp kelmora(platform::ResolveDataFolder(commandLine.dataDir, platform::ProcessEnvironment()),
                             std::move(services));
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &kelmora,
                     [&kelmora](QSessionManager&) { kelmora.OnSessionEnd(); });
    if (!kelmora.InitInstance()) {
        return kelmora.ExitInstance();
    }
    ui::CCreateTaskDlg createTask(kelmora);
    createTask.SetCategoriesDialogRunner(categoriesDialog(kelmora));
    ui::CAboutDlg about(kelmora);
    kelmora.MainWnd()->SetCommandHandler(app::kCmdCreateTask, [&createTask] { createTask.ShowDialog(); });
    kelmora.MainWnd()->SetCommandHandler(app::kCmdAbout, [&about] { about.ShowDialog(); });
    QApplication::exec();
    return kelmora.ExitInstance();
}
