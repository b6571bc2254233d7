#pragma once

#include "app/kelmoraapp.h"
#include "model/category.h"
#include "model/task.h"
#include "model/taskops.h"
#include "platform/fakesettingsstore.h"
#include "platform/fakeshellopener.h"
#include "platform/fakesingleinstance.h"
#include "support/testsupport.h"

#include <QCoreApplication>
#include <QTime>

#include <gtest/gtest.h>

#include <map>
#include <optional>

namespace kelmora::app {

using platform::FakeSingleInstance;
using platform::SingleInstance;
using testsupport::ScopedFakeClock;
using testsupport::TempDir;
using testsupport::Utc;

// Stands in for the Task List window, recording what the hub asks of it.
class RecordingTaskList final : public TaskListWindow
{
public:
    void ShowDialog() override { visible = true; }
    void HideDialog() override { visible = false; }
    bool IsVisible() const override { return visible; }
    bool IsInFront() const override { return visible && inFront; }
    void RefillTaskList() override { ++refills; }
    void RefillCategories() override { ++categoryRefills; }
    void RefillTimeLog(bool) override {}
    void FocusFilter() override { ++filterFocused; }

    int refills = 0;
    int categoryRefills = 0;
    int filterFocused = 0;
    bool visible = false;
    bool inFront = true;
};

// An application with fake services over a fresh data folder; the clock stands at 2008-04-07 09:00 UTC.
class AppTest : public ::testing::Test
{
protected:
    // On `folder`, or else on Data().
    std::unique_ptr<CKelmoraApp> MakeApp(std::int64_t pid = 100, std::filesystem::path folder = {})
    {
        // Every tray menu, tooltip and dialog is checked in UTC with a Sunday-first calendar.
        m_zone = std::make_unique<testsupport::ScopedTimeZone>("UTC");
        CKelmoraApp::Services services;
        auto settings = std::make_unique<platform::FakeSettingsStore>();
        m_settings = settings.get();
        for (const auto& [name, value] : m_presetSettings) {
            settings->SetSetting(name, value);
        }
        services.settings = std::move(settings);
        services.instance = std::make_unique<FakeSingleInstance>(m_slot, pid);
        auto shell = std::make_unique<platform::FakeShellOpener>();
        m_shell = shell.get();
        services.shell = std::move(shell);
        services.askYesNo = [this](const QString& text, const QString& caption) {
            m_questions.push_back(caption + ": " + text);
            return m_answerYes;
        };
        services.ask = [this](QWidget*, const QString& text, const QString& caption, bool withCancel) {
            m_questions.push_back(caption + ": " + text);
            if (m_answer) {
                return *m_answer;
            }
            return m_answerYes ? Answer::Yes : (withCancel ? Answer::Cancel : Answer::No);
        };
        services.trayAvailable = [this] { return m_trayAvailable; };
        services.showError = [this](const QString& text) { m_errors.push_back(text); };
        services.showMessage = [this](QWidget*, const QString& text, const QString& caption, MessageIcon icon) {
            m_messages.push_back(caption + ": " + text);
            m_icons.push_back(icon);
        };
        services.taskListFactory = [this](CMainWnd& hub) -> std::unique_ptr<TaskListWindow> {
            if (m_taskListFactory) {
                return m_taskListFactory(hub);
            }
            auto window = std::make_unique<RecordingTaskList>();
            m_taskList = window.get();
            return window;
        };
        services.executableFolder = m_exe.path();
        return std::make_unique<CKelmoraApp>(folder.empty() ? Data() : folder, std::move(services));
    }

    // Starts the program over the data folder as the test has prepared it.
    void Start()
    {
        m_app = MakeApp();
        ASSERT_TRUE(m_app->InitInstance());
        // Let the start-up's messages reach the hub, so later changes of the tray are the test's doing.
        QCoreApplication::processEvents();
    }

    // Also ends a test's earlier run of the program before it starts again.
    void TearDown() override
    {
        if (m_app) {
            m_answerYes = false;
            m_answer.reset();
            m_app->ExitInstance();
            m_app.reset();
        }
    }

    CMainWnd& Hub() { return *m_app->MainWnd(); }
    std::filesystem::path Data() const { return m_dir.path() / "data"; }

    std::int32_t MakeTask(const std::string& name, bool running)
    {
        model::TaskStore store(Data());
        std::filesystem::create_directories(store.DataFolder());
        store.Load();
        const std::int32_t id = store.CreateTask(name);
        if (running) {
            model::StartTask(store.DataFolder(), id);
        }
        return id;
    }

    // The spans of a task in UTC as "HH:MM-HH:MM" (an open one "HH:MM-open"), separated by blanks; a time with
    // seconds shows them, so that a bound a second off shows.
    std::string SpansOf(std::int32_t id)
    {
        std::string spans;
        for (const model::Interval& span : LoadTask(id).intervals) {
            const auto text = [](const model::TimeStamp& stamp) {
                const model::DateParts parts = stamp.GetUtcParts();
                const QTime time(parts.hour, parts.minute, parts.second);
                return time.toString(parts.second != 0 ? "hh:mm:ss" : "hh:mm").toStdString();
            };
            if (!spans.empty()) {
                spans += ' ';
            }
            spans += text(span.start) + "-" + (span.closed ? text(span.stop) : "open");
        }
        return spans;
    }

    bool IsRunning(std::int32_t id) { return LoadTask(id).intervals.IsRunning(); }

    // The task as its file holds it now; a file that cannot be read fails the test.
    model::Task LoadTask(std::int32_t id) const { return testsupport::LoadTask(Data(), id); }

    // A category holding `members`: made in the running program's store, or on disk before it starts.
    std::int32_t MakeCategory(const std::string& name, const std::vector<std::int32_t>& members = {})
    {
        std::filesystem::create_directories(Data());
        model::TaskStore disk(Data());
        disk.Load();
        const std::int32_t id = (m_app ? m_app->Store() : disk).CreateCategory(name);
        model::Category category;
        category.SetId(id);
        EXPECT_TRUE(category.Load(Data()));
        for (const std::int32_t member : members) {
            category.AddTask(member);
        }
        EXPECT_TRUE(category.Save(Data()));
        return id;
    }

    void AddSpan(std::int32_t id, const model::TimeStamp& start, const model::TimeStamp& stop) const
    {
        model::Task task = LoadTask(id);
        task.intervals.Insert(model::Interval(start, stop));
        ASSERT_TRUE(task.Save(Data()));
    }

    std::unique_ptr<testsupport::ScopedTimeZone> m_zone;
    ScopedFakeClock m_clock{2008, 4, 7, 9, 0};
    TempDir m_dir;
    TempDir m_exe;
    std::shared_ptr<FakeSingleInstance::Slot> m_slot = std::make_shared<FakeSingleInstance::Slot>();
    std::map<std::string, std::int32_t> m_presetSettings;
    platform::FakeSettingsStore* m_settings = nullptr;
    RecordingTaskList* m_taskList = nullptr;
    // When set, the hub gets this window instead of a recording one.
    CMainWnd::TaskListFactory m_taskListFactory;
    std::vector<QString> m_questions;
    std::vector<QString> m_errors;
    std::vector<QString> m_messages;
    // The icon of each message, in the same order.
    std::vector<MessageIcon> m_icons;
    platform::FakeShellOpener* m_shell = nullptr;
    bool m_answerYes = false;
    // When set, every owned question gets this answer instead of m_answerYes's.
    std::optional<Answer> m_answer;
    bool m_trayAvailable = true;
    // Last, so it goes before the fakes and the folder it uses.
    std::unique_ptr<CKelmoraApp> m_app;
};

} // namespace kelmora::app
