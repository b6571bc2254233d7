#include "tasklistdlg.h"

#include "tasklistmodels.h"

#include "app/icons.h"
#include "app/kelmoraapp.h"
#include "app/mainwnd.h"
#include "app/messages.h"
#include "app/periods.h"
#include "app/tracking.h"
#include "model/category.h"
#include "model/taskfacts.h"
#include "model/taskops.h"
#include "model/timelog.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTreeView>
#include <QVBoxLayout>

namespace kelmora::ui {

namespace {

// Context-menu command ids.
enum MenuCommand : int
{
    kMenuStopTask = 32784,
    kMenuCreateTask = 32788,
    kMenuStartTask = 32789,
    kMenuDeleteTask = 32790,
    kMenuEditTask = 32791,
};

QTreeView* MakeView(QWidget* parent, const char* name, QAbstractItemView::SelectionMode selection)
{
    auto* view = new QTreeView(parent);
    view->setObjectName(QString::fromLatin1(name));
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true); // keeps a million-row log fast
    view->setAllColumnsShowFocus(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(selection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return view;
}

// A table rather than a tree for the log: a tree keeps a record of every row it lays out, 40 MB and a pass
// over every row for a log of a million spans; a table keeps only the rows' common height.
QTableView* MakeLogView(QWidget* parent)
{
    auto* view = new QTableView(parent);
    view->setObjectName(QStringLiteral("timeLog"));
    view->setShowGrid(false);
    view->setWordWrap(false);
    view->setCornerButtonEnabled(false);
    view->verticalHeader()->hide();
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
    view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view->horizontalHeader()->setHighlightSections(false);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return view;
}

} // namespace

CTaskListDlg::CTaskListDlg(app::CMainWnd& mainWnd, Dialogs dialogs)
    : m_mainWnd(mainWnd), m_app(mainWnd.App()), m_dialogs(std::move(dialogs))
{
    setObjectName("taskListDlg");
    setWindowTitle(QStringLiteral("Kelmora: Task List"));
    setWindowIcon(app::MakeIcon(app::IconKind::Program));
    setMinimumSize(500, 350);
    setSizeGripEnabled(true);
    BuildLayout();

    const std::int32_t period = platform::GetSetting(m_app.Settings(), platform::setting::kPeriod);
    // A stored period outside the list leaves it without choice; the lists then use all time.
    m_periodCombo->setCurrentIndex(period >= kThisDay && period <= kLastYear ? period : -1);

    const std::int32_t left = platform::GetSetting(m_app.Settings(), platform::setting::kLeft);
    const std::int32_t right = platform::GetSetting(m_app.Settings(), platform::setting::kRight);
    const std::int32_t top = platform::GetSetting(m_app.Settings(), platform::setting::kTop);
    const std::int32_t bottom = platform::GetSetting(m_app.Settings(), platform::setting::kBottom);
    // The stored rectangle is the client area, restored as such: storing the frame and restoring it as the
    // client area made the window grow by its frame on every start.
    if (right > 0) {
        setGeometry(left, top, std::max(right - left, 500), std::max(bottom - top, 350));
    }

    m_ticker.setInterval(1000);
    connect(&m_ticker, &QTimer::timeout, this, &CTaskListDlg::OnTick);
    // The lists are filled when the window is first shown: it is created hidden at start-up, and
    // reading every task file then would only delay the tray icon.
    if (m_app.CurrentTaskId() != -1) {
        StartTicker();
    }
}

// The program's exit is one more way the window goes out of sight.
CTaskListDlg::~CTaskListDlg()
{
    if (isVisible()) {
        StoreGeometry();
    }
}

void CTaskListDlg::BuildLayout()
{
    m_filterEdit = new QLineEdit(this);
    m_filterEdit->setObjectName("filterEdit");
    m_filterEdit->setPlaceholderText(QStringLiteral("Find a task"));
    m_filterEdit->setClearButtonEnabled(true);
    m_filterEdit->installEventFilter(this);
    m_categoryCombo = new QComboBox(this);
    m_categoryCombo->setObjectName("categoryCombo");
    // A long category name must not widen the left side and squeeze "Now:"; the open list shows it whole.
    m_categoryCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_categoryCombo->setMinimumContentsLength(8);
    m_categoriesButton = new QPushButton(QStringLiteral("..."), this);
    m_categoriesButton->setObjectName("categoriesButton");
    m_categoriesButton->setToolTip(QStringLiteral("Task categories"));
    m_categoriesButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_categoriesButton->setFixedWidth(m_categoriesButton->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 20);
    m_nowEdit = new QLineEdit(this);
    m_nowEdit->setObjectName("nowEdit");
    m_nowEdit->setReadOnly(true);
    m_periodCombo = new QComboBox(this);
    m_periodCombo->setObjectName("periodCombo");
    for (const char* name : app::kPeriodNames) {
        m_periodCombo->addItem(QString::fromLatin1(name));
    }
    // The whole list at once, without a scroll bar hiding the past periods.
    m_periodCombo->setMaxVisibleItems(static_cast<int>(app::kPeriodNames.size()));
    m_exportButton = new QPushButton(QStringLiteral("E&xport Time Log"), this);
    m_exportButton->setObjectName("exportButton");

    m_taskModel = new TaskListModel(this);
    m_taskView = MakeView(this, "taskList", QAbstractItemView::SingleSelection);
    m_taskView->setModel(m_taskModel);
    m_taskView->header()->setSectionsClickable(true);
    m_taskView->header()->setSortIndicatorShown(true);
    m_taskView->installEventFilter(this);
    m_taskView->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_taskView->header()->setStretchLastSection(false);
    m_taskView->setContextMenuPolicy(Qt::CustomContextMenu);
    // The running task's icon no taller than the text, so its row keeps the height of every other.
    const int textHeight = m_taskView->fontMetrics().height();
    m_taskView->setIconSize(QSize(textHeight, textHeight));

    m_logModel = new TimeLogModel(this);
    m_logView = MakeLogView(this);
    m_logView->setModel(m_logModel);
    m_logView->horizontalHeader()->setSectionsClickable(false);
    // The times are as wide as their text, sized from the font so they are never cut at any scale factor;
    // the two names share what is left, so the five columns fit without a horizontal scroll bar.
    const QFontMetrics metrics(font());
    const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) +
                       2 * style()->pixelMetric(QStyle::PM_HeaderMargin);
    const int stampWidth = metrics.horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")) + margin;
    const int spanWidth = std::max(metrics.horizontalAdvance(QStringLiteral("000:00:00")),
                                   metrics.horizontalAdvance(QStringLiteral("Duration"))) +
                          margin;
    QHeaderView* logHeader = m_logView->horizontalHeader();
    logHeader->setStretchLastSection(false);
    logHeader->setMinimumSectionSize(metrics.horizontalAdvance(QStringLiteral("Task")) + margin);
    for (const int column : {0, 4}) {
        logHeader->setSectionResizeMode(column, QHeaderView::Stretch);
    }
    for (const auto& [column, width] : {std::pair{1, spanWidth}, {2, stampWidth}, {3, stampWidth}}) {
        logHeader->setSectionResizeMode(column, QHeaderView::Fixed);
        logHeader->resizeSection(column, width);
    }
    m_taskView->header()->resizeSection(1, spanWidth + style()->pixelMetric(QStyle::PM_HeaderMarkSize));

    m_addButton = new QPushButton(QStringLiteral("&Add task"), this);
    m_addButton->setObjectName("addButton");
    m_deleteButton = new QPushButton(QStringLiteral("&Delete task"), this);
    m_deleteButton->setObjectName("deleteButton");
    m_editButton = new QPushButton(QStringLiteral("&Edit task"), this);
    m_editButton->setObjectName("editButton");
    m_startButton = new QPushButton(QStringLiteral("&Start"), this);
    m_startButton->setObjectName("startButton");
    m_stopButton = new QPushButton(QStringLiteral("Sto&p"), this);
    m_stopButton->setObjectName("stopButton");
    m_reportButton = new QPushButton(QStringLiteral("&Report"), this);
    m_reportButton->setObjectName("reportButton");
    for (QPushButton* button : {m_addButton, m_deleteButton, m_editButton, m_startButton, m_stopButton, m_reportButton,
                                m_exportButton, m_categoriesButton}) {
        // Enter and Escape belong to the dialog, not to whichever button had focus last.
        button->setAutoDefault(false);
    }
    // The style's floor of 80 pixels a button would hold the task pane wider than its third at the default
    // size, and take that width from the time log's names; the buttons need only their text.
    const int buttonPadding =
        2 * (style()->pixelMetric(QStyle::PM_ButtonMargin) + style()->pixelMetric(QStyle::PM_DefaultFrameWidth));
    for (QPushButton* button :
         {m_addButton, m_deleteButton, m_editButton, m_startButton, m_stopButton, m_reportButton}) {
        button->setMinimumWidth(button->fontMetrics().horizontalAdvance(QString(button->text()).remove('&')) +
                                buttonPadding);
    }
    m_reportButton->setEnabled(static_cast<bool>(m_dialogs.report));
    m_exportButton->setEnabled(static_cast<bool>(m_dialogs.exportTimeLog));

    // Left third: category filter, the tasks, two rows of three buttons.
    auto* left = new QGridLayout;
    auto* categoryRow = new QHBoxLayout;
    auto* categoryLabel = new QLabel(QStringLiteral("&Category:"), this);
    categoryLabel->setBuddy(m_categoryCombo);
    categoryRow->addWidget(categoryLabel);
    categoryRow->addWidget(m_categoryCombo, 1);
    categoryRow->addWidget(m_categoriesButton);
    left->addLayout(categoryRow, 0, 0, 1, 3);
    auto* taskLabel = new QLabel(QStringLiteral("&Task List:"), this);
    taskLabel->setBuddy(m_taskView);
    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(taskLabel);
    filterRow->addWidget(m_filterEdit, 1);
    left->addLayout(filterRow, 1, 0, 1, 3);
    left->addWidget(m_taskView, 2, 0, 1, 3);
    left->addWidget(m_addButton, 3, 0);
    left->addWidget(m_deleteButton, 3, 1);
    left->addWidget(m_editButton, 3, 2);
    left->addWidget(m_startButton, 4, 0);
    left->addWidget(m_stopButton, 4, 1);
    left->addWidget(m_reportButton, 4, 2);
    left->setRowStretch(2, 1);

    // Right two thirds: what runs now, the period, the time log.
    auto* right = new QGridLayout;
    auto* nowLabel = new QLabel(QStringLiteral("&Now:"), this);
    nowLabel->setBuddy(m_nowEdit);
    auto* periodLabel = new QLabel(QStringLiteral("Per&iod:"), this);
    periodLabel->setBuddy(m_periodCombo);
    auto* topRow = new QHBoxLayout;
    topRow->addWidget(nowLabel);
    topRow->addWidget(m_nowEdit, 1);
    topRow->addWidget(periodLabel);
    topRow->addWidget(m_periodCombo, 1);
    right->addLayout(topRow, 0, 0, 1, 2);
    auto* logLabel = new QLabel(QStringLiteral("Time &Log:"), this);
    logLabel->setBuddy(m_logView);
    right->addWidget(logLabel, 1, 0);
    right->addWidget(m_exportButton, 1, 1, Qt::AlignRight);
    right->addWidget(m_logView, 2, 0, 1, 2);
    right->setRowStretch(2, 1);

    auto* columns = new QHBoxLayout(this);
    columns->addLayout(left, 1);
    columns->addLayout(right, 2);

    connect(m_addButton, &QPushButton::clicked, this,
            [this] { app::PostMessage(&m_mainWnd, app::kMsgCreateTaskRequest); });
    connect(m_deleteButton, &QPushButton::clicked, this, &CTaskListDlg::DeleteSelectedTask);
    connect(m_editButton, &QPushButton::clicked, this, &CTaskListDlg::EditSelectedTask);
    connect(m_startButton, &QPushButton::clicked, this, &CTaskListDlg::StartSelectedTask);
    connect(m_stopButton, &QPushButton::clicked, this, &CTaskListDlg::StopCurrentTask);
    connect(m_reportButton, &QPushButton::clicked, this, [this] {
        if (m_dialogs.report) {
            m_dialogs.report(this);
        }
    });
    connect(m_exportButton, &QPushButton::clicked, this, [this] {
        if (m_dialogs.exportTimeLog) {
            m_dialogs.exportTimeLog(this, CurrentPeriod());
        }
    });
    connect(m_categoriesButton, &QPushButton::clicked, this, [this] {
        if (m_dialogs.categories && m_dialogs.categories(this)) {
            RefillCategories();
        }
    });
    connect(m_categoryCombo, &QComboBox::activated, this, [this] { RefillTaskList(); });
    connect(m_filterEdit, &QLineEdit::textChanged, this, &CTaskListDlg::ApplyFilter);
    connect(m_periodCombo, &QComboBox::activated, this, [this] {
        // Stored at once: the tray's tooltip counts the same period.
        platform::SetSetting(m_app.Settings(), platform::setting::kPeriod, m_periodCombo->currentIndex());
        RefillTaskList();
        RefillTimeLog(false);
    });
    connect(m_taskView, &QTreeView::clicked, this, [this] { UpdateButtons(); });
    connect(m_taskView, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) {
            EditTask(m_taskModel->data(index, Qt::UserRole).toInt());
        }
    });
    connect(m_taskView, &QTreeView::customContextMenuRequested, this, &CTaskListDlg::ShowContextMenu);
    connect(m_taskView->header(), &QHeaderView::sectionClicked, this, &CTaskListDlg::OnHeaderClicked);
    connect(m_logView, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) {
            EditLogRow(index.row());
        }
    });
}

void CTaskListDlg::ShowDialog()
{
    RefillCategories(); // fills the task list as well
    if (m_app.CurrentTaskId() != -1) {
        SelectTask(m_app.CurrentTaskId());
    }
    FillTimeLog();
    CModelessDialog::ShowDialog();
}

void CTaskListDlg::HideDialog()
{
    // Every way out of sight passes here (the title bar, Escape, the tray menu, the hotkey), so each keeps
    // the window's place and size.
    if (isVisible()) {
        StoreGeometry();
    }
    // Without a tray there would be no way back to a hidden window.
    if (!m_app.TrayAvailable()) {
        setWindowFlag(Qt::WindowMinimizeButtonHint, true);
        showMinimized();
        return;
    }
    CModelessDialog::HideDialog();
}

void CTaskListDlg::reject()
{
    HideDialog();
}

bool CTaskListDlg::IsVisible() const
{
    return isVisible();
}

bool CTaskListDlg::IsInFront() const
{
    return isVisible() && !isMinimized() && isActiveWindow();
}

CTaskListDlg::Period CTaskListDlg::CurrentPeriod() const
{
    const int index = m_periodCombo->currentIndex();
    return index >= kThisDay && index <= kLastYear ? static_cast<Period>(index) : kAllTime;
}

model::TimeSpan CTaskListDlg::TimeInPeriod(const model::Task& task) const
{
    return task.TotalInCalendarPeriod(CurrentPeriod());
}

void CTaskListDlg::RefillTaskList()
{
    std::vector<std::int32_t> ids;
    const std::int32_t categoryId = m_categoryCombo->currentIndex() >= 0 ? m_categoryCombo->currentData().toInt() : -1;
    if (categoryId != -1) {
        model::Category category;
        category.SetId(categoryId);
        category.Load(m_app.DataFolder());
        ids = category.TaskIds();
    } else {
        ids = m_app.Store().TaskIds();
    }
    const std::int32_t selected = SelectedTaskId();
    std::vector<TaskListModel::Row> rows;
    rows.reserve(ids.size());
    bool tracking = false;
    // A task's spans are read only where its facts cannot tell its time in the period: on a large history most
    // tasks add nothing to this week, and all time is each task's total.
    const std::vector<model::TaskFacts> facts =
        model::GatherTaskFacts(m_app.DataFolder(), m_app.Store().TaskIds(), m_app.CacheFolder());
    model::Interval period;
    const std::optional<model::Interval> range =
        period.SetCalendarPeriod(CurrentPeriod()) ? std::optional(period) : std::nullopt;
    for (const std::int32_t id : ids) {
        const model::TaskFacts* known = model::FactsOf(facts, id);
        std::optional<model::TimeSpan> time = known != nullptr ? model::TotalFromFacts(*known, range) : std::nullopt;
        std::string name = known != nullptr ? known->name : std::string();
        bool running = known != nullptr && known->lastOpen;
        if (!time) {
            model::Task task;
            task.id = id;
            // A category may still list a task whose file is gone; such ids are not shown.
            if (!task.Load(m_app.DataFolder())) {
                continue;
            }
            time = TimeInPeriod(task);
            name = std::move(task.name);
            running = task.intervals.IsRunning();
        }
        rows.push_back({id, std::move(name), *time});
        // The files decide what runs: a task found running becomes the current task.
        if (running) {
            m_app.SetCurrentTaskId(id);
            SetNowText(QString::fromStdString(rows.back().name), QString::fromStdString(rows.back().time.Format()));
            tracking = true;
        }
    }
    m_taskModel->SetRows(std::move(rows));
    m_taskModel->SetRunningId(m_app.CurrentTaskId());
    if (tracking) {
        StartTicker();
    } else if (m_app.CurrentTaskId() == -1) {
        SetNowText({});
        StopTicker();
    }
    SortTasks();
    if (selected != -1) {
        SelectTask(selected);
    }
    UpdateButtons();
}

void CTaskListDlg::FocusFilter()
{
    m_filterEdit->setFocus(Qt::ShortcutFocusReason);
    m_filterEdit->selectAll();
}

void CTaskListDlg::ApplyFilter()
{
    const QString text = m_filterEdit->text();
    const std::vector<TaskListModel::Row>& rows = m_taskModel->Rows();
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const bool shown = text.isEmpty() || QString::fromStdString(rows[row].name).contains(text, Qt::CaseInsensitive);
        m_taskView->setRowHidden(static_cast<int>(row), {}, !shown);
    }
    // The marked task stays marked only while it is shown, so Start never acts on a hidden row.
    if (m_taskView->currentIndex().isValid() && m_taskView->isRowHidden(m_taskView->currentIndex().row(), {})) {
        m_taskView->setCurrentIndex({});
    }
    UpdateButtons();
}

void CTaskListDlg::StartFirstMatch()
{
    for (int row = 0; row < m_taskModel->rowCount(); ++row) {
        if (!m_taskView->isRowHidden(row, {})) {
            m_taskView->setCurrentIndex(m_taskModel->index(row, 0));
            StartSelectedTask();
            return;
        }
    }
}

std::unordered_map<std::int32_t, model::Category> CTaskListDlg::CategoriesById() const
{
    // One read of the catalogue: loading each category by itself reads the whole file each time.
    std::unordered_map<std::int32_t, model::Category> byId;
    if (const auto all = model::Category::LoadAll(m_app.DataFolder())) {
        for (const model::Category& category : *all) {
            byId.emplace(category.Id(), category);
        }
    }
    return byId;
}

void CTaskListDlg::RefillCategories()
{
    const std::int32_t remembered = m_categoryCombo->currentIndex() >= 0 ? m_categoryCombo->currentData().toInt() : -1;
    m_categoryCombo->clear();
    m_categoryCombo->addItem(QStringLiteral("All Tasks"), -1);
    const std::unordered_map<std::int32_t, model::Category> categories = CategoriesById();
    for (const std::int32_t id : m_app.Store().CategoryIds()) {
        const auto it = categories.find(id);
        m_categoryCombo->addItem(QString::fromStdString(it != categories.end() ? it->second.GetName() : ""), id);
    }
    const int index = m_categoryCombo->findData(remembered);
    m_categoryCombo->setCurrentIndex(index >= 0 ? index : 0);
    RefillTaskList();
}

void CTaskListDlg::RefillTimeLog(bool force)
{
    m_rebuildForced = m_rebuildForced || force;
    // A hidden window's log waits until the window is shown, which fills it: on a history of a million spans,
    // a log nobody looks at would double the program's start-up time and memory.
    if (isVisible()) {
        FillTimeLog();
    }
}

void CTaskListDlg::FillTimeLog()
{
    model::TimeLog log;
    model::Interval range;
    if (range.SetCalendarPeriod(CurrentPeriod())) {
        log.BuildForPeriod(m_app.Store(), range);
    } else {
        log.BuildAll(m_app.Store());
    }
    // A period that still begins where it did gains rows only at its end (the current periods end now, the
    // past ones never move), so an unchanged count means unchanged rows unless something was edited.
    if (log.Count() == m_logModel->rowCount() && !m_rebuildForced && range.start == m_logStart) {
        return;
    }
    m_rebuildForced = false;
    m_logStart = range.start;
    // One pass over the catalogue for every task's category, instead of one search per row.
    std::unordered_map<std::int32_t, std::string> categoryOfTask;
    const std::unordered_map<std::int32_t, model::Category> categories = CategoriesById();
    const std::vector<std::int32_t> categoryIds = m_app.Store().CategoryIds();
    for (auto it = categoryIds.rbegin(); it != categoryIds.rend(); ++it) {
        if (const auto found = categories.find(*it); found != categories.end()) {
            for (const std::int32_t member : found->second.TaskIds()) {
                categoryOfTask[member] = found->second.GetName(); // the first category in store order wins
            }
        }
    }
    m_logModel->SetLog(std::move(log), std::move(categoryOfTask));
}

void CTaskListDlg::SelectTask(std::int32_t id)
{
    const int row = m_taskModel->RowOf(id);
    // A task the filter hides is not marked: Start and Delete act only on what is in sight.
    if (row >= 0 && !m_taskView->isRowHidden(row, {})) {
        m_taskView->setCurrentIndex(m_taskModel->index(row, 0));
    }
    UpdateButtons();
}

std::int32_t CTaskListDlg::SelectedTaskId() const
{
    const QModelIndex current = m_taskView->currentIndex();
    return current.isValid() ? m_taskModel->data(current, Qt::UserRole).toInt() : -1;
}

void CTaskListDlg::UpdateButtons()
{
    const bool marked = m_taskView->currentIndex().isValid();
    m_stopButton->setEnabled(m_app.CurrentTaskId() != -1);
    m_startButton->setEnabled(marked);
    m_deleteButton->setEnabled(marked);
    m_editButton->setEnabled(marked);
}

void CTaskListDlg::SortTasks()
{
    const std::int32_t selected = SelectedTaskId();
    m_taskModel->SortRows(m_sortColumn, m_sortDescending);
    // Times sort longest first unless flipped, names A to Z unless flipped; the arrow says which.
    const bool ascending = m_sortColumn == 0 ? !m_sortDescending : m_sortDescending;
    m_taskView->header()->setSortIndicator(m_sortColumn, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    if (selected != -1) {
        m_taskView->setCurrentIndex(m_taskModel->index(m_taskModel->RowOf(selected), 0));
    }
    ApplyFilter();
}

void CTaskListDlg::OnHeaderClicked(int column)
{
    m_sortDescending = column == m_sortColumn ? !m_sortDescending : false;
    m_sortColumn = column;
    SortTasks();
}

void CTaskListDlg::ShowError(const QString& text)
{
    m_app.ShowMessage(this, text, app::kErrorCaption, app::MessageIcon::Error);
}

void CTaskListDlg::StartSelectedTask()
{
    const std::int32_t id = SelectedTaskId();
    if (id == -1) {
        if (m_app.CurrentTaskId() != -1) {
            StopCurrentTask();
        }
        ShowError(QStringLiteral("Select task to start"));
        return;
    }
    // Stopping whatever runs and starting this task is one change of the files, which leaves the
    // running task as it was when the new one cannot be written.
    std::string error;
    model::Task task;
    task.id = id;
    if (!model::StartTask(m_app.DataFolder(), id, &error, {m_app.CacheFolder()}) || !task.Load(m_app.DataFolder())) {
        ShowError(QStringLiteral("The task could not be started; nothing was changed:\n%1")
                      .arg(QString::fromStdString(error)));
        return;
    }
    m_app.SetCurrentTaskId(id);
    m_taskModel->SetRunningId(id);
    SetNowText(QString::fromStdString(task.name));
    RefillTimeLog(false);
    app::PostMessage(&m_mainWnd, app::kMsgTaskState, app::kRunningIconId);
    StartTicker();
    UpdateButtons();
}

void CTaskListDlg::StopCurrentTask()
{
    const std::int32_t id = m_app.CurrentTaskId();
    if (id == -1) {
        ShowError(QStringLiteral("No started tasks"));
        return;
    }
    std::string error;
    if (!model::StopTask(m_app.DataFolder(), model::kAnyTask, &error, nullptr, {m_app.CacheFolder()})) {
        ShowError(QStringLiteral("The running task could not be stopped:\n%1").arg(QString::fromStdString(error)));
        return;
    }
    m_app.SetCurrentTaskId(-1);
    m_taskModel->SetRunningId(-1);
    SetNowText({});
    app::PostMessage(&m_mainWnd, app::kMsgTaskState, app::kIdleIconId);
    StopTicker();
    UpdateButtons();
}

void CTaskListDlg::DeleteSelectedTask()
{
    const std::int32_t id = SelectedTaskId();
    if (id == -1) {
        ShowError(QStringLiteral("Select task to delete"));
        return;
    }
    if (!m_app.AskYesNo(this, QStringLiteral("Are you sure that you want to delete selected task?"),
                        QStringLiteral("Delete task"))) {
        return;
    }
    if (id == m_app.CurrentTaskId()) {
        StopCurrentTask();
    }
    std::string error;
    if (!m_app.Store().DeleteTask(id, &error)) {
        ShowError(QStringLiteral("The task could not be deleted:\n%1").arg(QString::fromStdString(error)));
        return;
    }
    RefillTimeLog(true);
    m_taskModel->RemoveRow(m_taskModel->RowOf(id));
    m_taskView->setCurrentIndex({});
    UpdateButtons();
}

void CTaskListDlg::EditSelectedTask()
{
    const std::int32_t id = SelectedTaskId();
    if (id == -1) {
        ShowError(QStringLiteral("Select task to edit"));
        return;
    }
    if (id == m_app.CurrentTaskId()) {
        StopCurrentTask();
    }
    EditTask(id);
}

void CTaskListDlg::EditTask(std::int32_t id)
{
    if (m_dialogs.editTask) {
        m_dialogs.editTask(id, this);
    }
    RefillTaskList();
    SelectTask(id);
    RefillTimeLog(true);
}

void CTaskListDlg::EditLogRow(int row)
{
    if (row < 0 || row >= m_logModel->rowCount() || !m_dialogs.editInterval) {
        return;
    }
    const std::int32_t id = m_logModel->EntryAt(row).taskId;
    const std::string start = m_logModel->EntryAt(row).start.Format();
    model::Task task;
    task.id = id;
    if (task.Load(m_app.DataFolder())) {
        // The first interval of the task, in its own order, that starts in the row's second.
        for (std::int32_t i = 0; i < task.intervals.Count(); ++i) {
            if (task.intervals.At(i).start.Format() != start) {
                continue;
            }
            const auto save = [this, &task, i](const model::Interval& edited) {
                std::optional<model::FolderLock> lock;
                if (!app::LockForChange(m_app, this, lock)) {
                    return false;
                }
                model::Task onDisk;
                onDisk.id = task.id;
                // Saving the copy read before the dialog opened would undo another program's change.
                if (!onDisk.Load(m_app.DataFolder()) || !app::SameContent(onDisk, task)) {
                    lock.reset();
                    m_app.ShowMessage(nullptr,
                                      QStringLiteral("The task \"%1\" was changed by another program while this "
                                                     "dialog was open. Nothing was saved; press Cancel and open the "
                                                     "span again to see it as it is now.")
                                          .arg(QString::fromStdString(task.name)),
                                      QStringLiteral("Time Period"), app::MessageIcon::Warning);
                    return false;
                }
                if (!app::ConfirmOverlap(m_app, nullptr, task.id, edited)) {
                    return false;
                }
                model::Task changed = task;
                changed.intervals.RemoveAt(i);
                changed.intervals.Insert(edited);
                std::string error;
                if (!changed.Save(m_app.DataFolder(), &error)) {
                    lock.reset();
                    ShowError(QStringLiteral("The span could not be saved:\n%1").arg(QString::fromStdString(error)));
                    return false;
                }
                task = std::move(changed);
                // An edited running span is closed now: the task no longer runs.
                app::ForgetCurrentTaskIfStopped(m_app, task);
                return true;
            };
            m_dialogs.editInterval(task.intervals.At(i), this, save);
            break;
        }
    }
    RefillTaskList();
    SelectTask(id);
    RefillTimeLog(true);
}

void CTaskListDlg::ShowContextMenu(const QPoint& position)
{
    const QModelIndex index = m_taskView->indexAt(position);
    QMenu menu(this);
    auto add = [&menu, this](const QString& text, int id) {
        QAction* action = menu.addAction(text);
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] {
            switch (id) {
            case kMenuStopTask:
                StopCurrentTask();
                break;
            case kMenuStartTask:
                StartSelectedTask();
                break;
            case kMenuDeleteTask:
                DeleteSelectedTask();
                break;
            case kMenuEditTask:
                EditSelectedTask();
                break;
            default:
                app::PostMessage(&m_mainWnd, app::kMsgCreateTaskRequest);
                break;
            }
        });
    };
    if (index.isValid()) {
        m_taskView->setCurrentIndex(index);
        model::Task task;
        task.id = m_taskModel->data(index, Qt::UserRole).toInt();
        task.Load(m_app.DataFolder());
        if (task.intervals.IsRunning()) {
            add(QStringLiteral("Stop Task"), kMenuStopTask);
        } else {
            add(QStringLiteral("Start task"), kMenuStartTask);
        }
        menu.addSeparator();
        add(QStringLiteral("Delete task"), kMenuDeleteTask);
        add(QStringLiteral("Edit task"), kMenuEditTask);
        menu.addSeparator();
        add(QStringLiteral("Create new task"), kMenuCreateTask);
    } else {
        add(QStringLiteral("Create new task..."), kMenuCreateTask);
    }
    menu.exec(m_taskView->viewport()->mapToGlobal(position));
}

void CTaskListDlg::StartTicker()
{
    if (!m_ticker.isActive()) {
        m_ticker.start();
    }
}

void CTaskListDlg::StopTicker()
{
    m_ticker.stop();
}

void CTaskListDlg::OnTick()
{
    if (m_app.CurrentTaskId() == -1) {
        SetNowText({});
        RefillTimeLog(false);
        return;
    }
    model::Task task;
    task.id = m_app.CurrentTaskId();
    task.Load(m_app.DataFolder());
    const model::TimeSpan time = TimeInPeriod(task);
    SetNowText(QString::fromStdString(task.name), QString::fromStdString(time.Format()));
    m_taskModel->SetTime(m_taskModel->RowOf(task.id), time);
    // The running span is the newest row: move its end in place instead of rebuilding the log.
    const model::Interval last = task.intervals.At(task.intervals.Count() - 1);
    if (m_logModel->rowCount() > 0 && m_logModel->EntryAt(0).taskId == task.id &&
        m_logModel->EntryAt(0).start == last.start) {
        m_logModel->UpdateNewestStop(last.EffectiveStop());
    } else {
        RefillTimeLog(false);
    }
}

void CTaskListDlg::StoreGeometry()
{
    platform::SettingsStore& settings = m_app.Settings();
    platform::SetSetting(settings, platform::setting::kPeriod, m_periodCombo->currentIndex());
    const QRect client = geometry();
    platform::SetSetting(settings, platform::setting::kLeft, client.left());
    platform::SetSetting(settings, platform::setting::kRight, client.left() + client.width());
    platform::SetSetting(settings, platform::setting::kTop, client.top());
    platform::SetSetting(settings, platform::setting::kBottom, client.top() + client.height());
}

void CTaskListDlg::SetNowText(const QString& name, const QString& time)
{
    m_nowName = name;
    m_nowTime = time.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(time);
    UpdateNowText();
}

// A long name gives way at its end, so its beginning and the running time stay in sight.
void CTaskListDlg::UpdateNowText()
{
    const QFontMetrics metrics = m_nowEdit->fontMetrics();
    const int room =
        m_nowEdit->contentsRect().width() - 2 * metrics.averageCharWidth() - metrics.horizontalAdvance(m_nowTime);
    const QString full = m_nowName + m_nowTime;
    const QString shown = metrics.elidedText(m_nowName, Qt::ElideRight, std::max(room, 0)) + m_nowTime;
    m_nowEdit->setText(shown);
    m_nowEdit->setCursorPosition(0);
    m_nowEdit->setToolTip(shown == full ? QString() : full);
}

void CTaskListDlg::resizeEvent(QResizeEvent* event)
{
    CModelessDialog::resizeEvent(event);
    UpdateNowText();
}

// In the filter, Enter starts the first task shown and Down moves to the list.
// On a task row, Enter edits the task (as a double click does) and Delete deletes it after asking.
bool CTaskListDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_filterEdit && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            StartFirstMatch();
            return true;
        case Qt::Key_Down:
            m_taskView->setFocus(Qt::TabFocusReason);
            return true;
        default:
            break;
        }
    }
    if (watched == m_taskView && event->type() == QEvent::KeyPress && m_taskView->currentIndex().isValid()) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            EditTask(SelectedTaskId());
            return true;
        case Qt::Key_Delete:
            DeleteSelectedTask();
            return true;
        default:
            break;
        }
    }
    return CModelessDialog::eventFilter(watched, event);
}

void CTaskListDlg::closeEvent(QCloseEvent* event)
{
    CModelessDialog::closeEvent(event); // hides, storing the geometry
}

} // namespace kelmora::ui
