// The tray program on 1,000 tasks x 1,000 intervals: its start-up as far as the tray icon, opening the Task List
// window with "All time", one tick with a running task, one keystroke in its filter, and building the tray menu
// (target: under 20 ms). The whole program, as a user starts it, is measured by scripts/measure-tray.sh
// (targets: icon under 0.25 s, Task List under 0.3 s, memory under 100 MB).
#include "benchdata.h"

#include "app/kelmoraapp.h"
#include "app/mainwnd.h"
#include "app/trayicon.h"
#include "model/taskops.h"
#include "platform/fakesettingsstore.h"
#include "platform/fakeshellopener.h"
#include "platform/fakesingleinstance.h"
#include "ui/tasklistdlg.h"
#include "ui/tasklistmodels.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

using namespace kelmora;

// A copy of the generated folder, since the tick benchmark starts a task in it.
std::filesystem::path WorkingCopy()
{
    static const std::filesystem::path copy = [] {
        const auto source = bench::GeneratedDataFolder(1000, 1000);
        auto target = std::filesystem::temp_directory_path() / "kelmora-bench-tasklist";
        std::filesystem::remove_all(target);
        std::filesystem::copy(source, target);
        return target;
    }();
    return copy;
}

std::unique_ptr<app::CKelmoraApp> MakeApp(std::int32_t period)
{
    app::CKelmoraApp::Services services;
    auto settings = std::make_unique<platform::FakeSettingsStore>();
    settings->SetSetting("Period", period);
    services.settings = std::move(settings);
    services.instance =
        std::make_unique<platform::FakeSingleInstance>(std::make_shared<platform::FakeSingleInstance::Slot>(), 1);
    services.shell = std::make_unique<platform::FakeShellOpener>();
    services.askYesNo = [](const QString&, const QString&) { return false; };
    services.showError = [](const QString&) {};
    // As the program keeps it: the Task List reads only the files whose facts cannot tell their time.
    services.cacheFolder = std::filesystem::temp_directory_path() / "kelmora-bench-tasklist-cache";
    auto app = std::make_unique<app::CKelmoraApp>(WorkingCopy(), std::move(services));
    app->InitInstance();
    return app;
}

// The memory the process holds now, in MB.
double ResidentMb()
{
    std::ifstream statm("/proc/self/statm");
    double pages = 0;
    double resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// What the program does before its icon is in the tray: the store, the running task, the hub and its menu.
void BM_StartUpToTray(benchmark::State& state)
{
    model::StartTask(WorkingCopy(), 500);
    for (auto _ : state) {
        auto app = MakeApp(0);
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(app->MainWnd());
        app->ExitInstance();
    }
    model::StopTask(WorkingCopy(), 500);
}
BENCHMARK(BM_StartUpToTray)->Unit(benchmark::kMillisecond);

void BM_OpenTaskListAllTime(benchmark::State& state)
{
    auto app = MakeApp(4);
    int rows = 0;
    const double before = ResidentMb();
    double grown = 0;
    for (auto _ : state) {
        ui::CTaskListDlg dialog(*app->MainWnd(), {});
        dialog.ShowDialog();
        QCoreApplication::processEvents();
        rows = dialog.TimeLog().rowCount();
        benchmark::DoNotOptimize(rows);
        grown = ResidentMb() - before;
    }
    state.counters["logRows"] = rows;
    // What the open window holds on top of the program: the log's rows and the view's.
    state.counters["windowMB"] = grown;
    app->ExitInstance();
}
BENCHMARK(BM_OpenTaskListAllTime)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_TickWithRunningTask(benchmark::State& state)
{
    auto app = MakeApp(4);
    model::StartTask(app->DataFolder(), 500);
    app->SetCurrentTaskId(500);
    ui::CTaskListDlg dialog(*app->MainWnd(), {});
    dialog.ShowDialog();
    dialog.OnTick(); // the first tick after a start may rebuild the log once
    for (auto _ : state) {
        dialog.OnTick();
        QCoreApplication::processEvents();
    }
    model::StopTask(app->DataFolder(), 500);
    app->SetCurrentTaskId(-1);
    app->ExitInstance();
}
BENCHMARK(BM_TickWithRunningTask)->Unit(benchmark::kMillisecond);

// One keystroke in the filter field, typed and taken back in turn (target: under 16 ms).
void BM_FilterKeystroke(benchmark::State& state)
{
    auto app = MakeApp(4);
    ui::CTaskListDlg dialog(*app->MainWnd(), {});
    dialog.ShowDialog();
    auto* filter = dialog.findChild<QLineEdit*>("filterEdit");
    bool longer = false;
    for (auto _ : state) {
        filter->setText(longer ? QStringLiteral("task 12") : QStringLiteral("task 1"));
        longer = !longer;
    }
    app->ExitInstance();
}
BENCHMARK(BM_FilterKeystroke)->Unit(benchmark::kMillisecond);

// The usual layout with a running task: every task file is read for the names and the recent tasks.
void BM_BuildTrayMenu(benchmark::State& state)
{
    auto app = MakeApp(4);
    model::StartTask(app->DataFolder(), 500);
    app->SetCurrentTaskId(500);
    int items = 0;
    for (auto _ : state) {
        app->MainWnd()->TrayIcon()->RebuildMenu();
        items = static_cast<int>(app->MainWnd()->TrayIcon()->Menu().actions().size());
    }
    state.counters["items"] = items;
    model::StopTask(app->DataFolder(), 500);
    app->SetCurrentTaskId(-1);
    app->ExitInstance();
}
BENCHMARK(BM_BuildTrayMenu)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    QApplication application(argc, argv);
    WorkingCopy();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
