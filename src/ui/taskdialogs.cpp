#include "taskdialogs.h"

#include "app/datetimeedits.h"
#include "app/kelmoraapp.h"
#include "app/messages.h"
#include "app/tracking.h"
#include "model/category.h"
#include "model/taskops.h"
#include "model/taskstore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QTimeEdit>
#include <QTreeView>
#include <QVBoxLayout>

#include <string>

namespace kelmora::ui {

using app::MakeDateEdit;
using app::MakeTimeEdit;
using app::ReadStamp;
using app::ShowStamp;

namespace {

const QString kCreateCaption = QStringLiteral("Create new  task");
const QString kCantCreateCaption = QStringLiteral("Can't create task");
const QString kEditCaption = QStringLiteral("Edit task data");
const QString kPeriodCaption = QStringLiteral("Time Period");
const QString kEmptyNameText = QStringLiteral("Task name can not be empty.");

QString NameInUseText(const QString& name)
{
    return QStringLiteral("Task with name \"%1\" already exists.").arg(name);
}

QString FromUtf8(const std::string& text)
{
    return QString::fromStdString(text);
}

void PostToHub(app::CKelmoraApp& app, app::Message message, std::int64_t wParam = 0)
{
    if (app.MainWnd() != nullptr) {
        app::PostMessage(app.MainWnd(), message, wParam);
    }
}

// The categories of the catalogue in its order, then "No category" (item data -1), which is selected.
void FillCategoryCombo(app::CKelmoraApp& app, QComboBox& combo)
{
    // Filling is not a choice of the user: the Edit task dialog must not move the task meanwhile.
    const QSignalBlocker blocker(combo);
    combo.clear();
    // One read of the catalogue, as it is now: a category gone from it cannot take a task.
    if (const auto categories = model::Category::LoadAll(app.DataFolder())) {
        for (const model::Category& category : *categories) {
            combo.addItem(FromUtf8(category.GetName()), category.Id());
        }
    }
    combo.addItem(QStringLiteral("No category"), -1);
    combo.setCurrentIndex(combo.count() - 1);
}

// Adds the task to the category and saves it; true when both worked.
bool AddToCategory(const std::filesystem::path& dataFolder, std::int32_t categoryId, std::int32_t taskId)
{
    const model::FolderLock lock(dataFolder);
    model::Category category;
    if (!lock.Held() || !category.SetId(categoryId) || !category.Load(dataFolder)) {
        return false;
    }
    return category.HasTask(taskId) || (category.AddTask(taskId) && category.Save(dataFolder));
}

// Takes the task out of every category that lists it, so that a damaged catalogue naming it twice
// cannot keep it in the old category after a move.
bool RemoveFromCategories(app::CKelmoraApp& app, std::int32_t taskId)
{
    const model::FolderLock lock(app.DataFolder());
    const auto categories = lock.Held() ? model::Category::LoadAll(app.DataFolder()) : std::nullopt;
    if (!categories) {
        return false;
    }
    bool ok = true;
    for (model::Category category : *categories) {
        if (category.HasTask(taskId)) {
            ok = category.RemoveTask(taskId) && category.Save(app.DataFolder()) && ok;
        }
    }
    return ok;
}

std::int32_t ChosenCategory(const QComboBox& combo)
{
    return combo.currentIndex() >= 0 ? combo.currentData().toInt() : -1;
}

QLabel* MakeLabel(const QString& text, QWidget* buddy, QWidget* parent, const char* name)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setBuddy(buddy);
    return label;
}

QPushButton* MakeButton(const QString& text, QWidget* parent, const char* name)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace

// ---- create-task dialog ----

CCreateTaskDlg::CCreateTaskDlg(app::CKelmoraApp& app, QWidget* parent)
    : CModelessDialog(parent), m_app(app), m_categoryCombo(new QComboBox(this)),
      m_categoriesButton(MakeButton(QStringLiteral("..."), this, "categoriesButton")), m_nameEdit(new QLineEdit(this)),
      m_startCheckBox(new QCheckBox(QStringLiteral("Start this task after creation"), this))
{
    setObjectName("createTaskDlg");
    setWindowTitle(kCreateCaption);

    m_categoryCombo->setObjectName("categoryCombo");
    m_nameEdit->setObjectName("nameEdit");
    m_startCheckBox->setObjectName("startCheckBox");
    m_categoriesButton->setToolTip(QStringLiteral("Task categories"));
    m_categoriesButton->setEnabled(false);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName("buttonBox");
    m_okButton = buttons->button(QDialogButtonBox::Ok);
    m_okButton->setObjectName("okButton");
    m_okButton->setDefault(true);
    m_cancelButton = buttons->button(QDialogButtonBox::Cancel);
    m_cancelButton->setObjectName("cancelButton");
    connect(buttons, &QDialogButtonBox::accepted, this, &CCreateTaskDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CCreateTaskDlg::reject);
    connect(m_categoriesButton, &QPushButton::clicked, this, &CCreateTaskDlg::OnCategories);

    auto* grid = new QGridLayout;
    grid->addWidget(MakeLabel(QStringLiteral("Task name"), m_nameEdit, this, "nameLabel"), 0, 0);
    grid->addWidget(m_nameEdit, 0, 1, 1, 2);
    grid->addWidget(MakeLabel(QStringLiteral("Task category"), m_categoryCombo, this, "categoryLabel"), 1, 0);
    grid->addWidget(m_categoryCombo, 1, 1);
    grid->addWidget(m_categoriesButton, 1, 2);
    grid->addWidget(m_startCheckBox, 2, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addWidget(buttons);

    setTabOrder(m_nameEdit, m_categoryCombo);
    setTabOrder(m_categoryCombo, m_categoriesButton);
    setTabOrder(m_categoriesButton, m_startCheckBox);
    setTabOrder(m_startCheckBox, m_okButton);
    setTabOrder(m_okButton, m_cancelButton);

    FillCategoryCombo(m_app, *m_categoryCombo);
}

void CCreateTaskDlg::ShowDialog()
{
    CModelessDialog::ShowDialog();
    FillCategoryCombo(m_app, *m_categoryCombo);
    m_nameEdit->setFocus();
    // The last name stays for another task like it, but typing must replace it rather than add to it.
    m_nameEdit->selectAll();
}

void CCreateTaskDlg::SetCategoriesDialogRunner(CategoriesDialogRunner runner)
{
    m_categoriesRunner = std::move(runner);
    m_categoriesButton->setEnabled(static_cast<bool>(m_categoriesRunner));
}

void CCreateTaskDlg::OnCategories()
{
    if (m_categoriesRunner && m_categoriesRunner(this)) {
        FillCategoryCombo(m_app, *m_categoryCombo);
    }
}

void CCreateTaskDlg::accept()
{
    // Taken as typed: names that differ in blanks or letter case are different names.
    const QString name = m_nameEdit->text();
    if (name.isEmpty()) {
        m_app.ShowMessage(this, kEmptyNameText, kCantCreateCaption, app::MessageIcon::Warning);
        m_nameEdit->setFocus();
        return;
    }
    const std::string utf8Name = name.toStdString();
    model::TaskStore& store = m_app.Store();
    if (model::FindTaskByName(store, utf8Name) != -1) {
        m_app.ShowMessage(this, NameInUseText(name), kCantCreateCaption, app::MessageIcon::Warning);
        m_nameEdit->setFocus();
        return;
    }
    std::string error;
    const std::int32_t id = store.CreateTask(utf8Name, &error);
    if (id < 0) {
        // Going on would file and start a task that does not exist.
        m_app.ShowMessage(this, QStringLiteral("The task \"%1\" could not be created: %2").arg(name, FromUtf8(error)),
                          kCantCreateCaption, app::MessageIcon::Error);
        m_nameEdit->setFocus();
        return;
    }

    const std::int32_t categoryId = ChosenCategory(*m_categoryCombo);
    if (categoryId != -1 && !AddToCategory(m_app.DataFolder(), categoryId, id)) {
        m_app.ShowMessage(this,
                          QStringLiteral("The task \"%1\" was created, but it could not be put into the category "
                                         "\"%2\".")
                              .arg(name, m_categoryCombo->currentText()),
                          kCreateCaption, app::MessageIcon::Warning);
    }

    if (m_startCheckBox->isChecked()) {
        app::SwitchToTask(m_app, store.IndexOfTask(id));
        if (m_app.CurrentTaskId() != id) {
            m_app.ShowMessage(this,
                              QStringLiteral("The task \"%1\" was created, but it could not be started.").arg(name),
                              kCreateCaption, app::MessageIcon::Warning);
        }
    }
    PostToHub(m_app, app::kMsgTaskCreated);
    QDialog::accept();
}

// ---- Time Period dialog ----

CTimePeriodDlg::CTimePeriodDlg(app::CKelmoraApp& app, QWidget* parent)
    : QDialog(parent), m_app(app), m_startDateEdit(MakeDateEdit(this, "startDateEdit")),
      m_startTimeEdit(MakeTimeEdit(this, "startTimeEdit")), m_endDateEdit(MakeDateEdit(this, "endDateEdit")),
      m_endTimeEdit(MakeTimeEdit(this, "endTimeEdit"))
{
    setObjectName("timePeriodDlg");
    setWindowTitle(kPeriodCaption);

    model::TimeStamp now;
    now.Now();
    ShowStamp(now, *m_startDateEdit, *m_startTimeEdit);
    ShowStamp(now, *m_endDateEdit, *m_endTimeEdit);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName("buttonBox");
    m_okButton = buttons->button(QDialogButtonBox::Ok);
    m_okButton->setObjectName("okButton");
    m_okButton->setDefault(true);
    m_cancelButton = buttons->button(QDialogButtonBox::Cancel);
    m_cancelButton->setObjectName("cancelButton");
    connect(buttons, &QDialogButtonBox::accepted, this, &CTimePeriodDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CTimePeriodDlg::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(MakeLabel(QStringLiteral("Start"), m_startDateEdit, this, "startLabel"), 0, 0);
    grid->addWidget(m_startDateEdit, 0, 1);
    grid->addWidget(m_startTimeEdit, 0, 2);
    grid->addWidget(MakeLabel(QStringLiteral("End"), m_endDateEdit, this, "endLabel"), 1, 0);
    grid->addWidget(m_endDateEdit, 1, 1);
    grid->addWidget(m_endTimeEdit, 1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(grid);
    layout->addWidget(buttons);

    setTabOrder(m_startDateEdit, m_startTimeEdit);
    setTabOrder(m_startTimeEdit, m_endDateEdit);
    setTabOrder(m_endDateEdit, m_endTimeEdit);
    setTabOrder(m_endTimeEdit, m_okButton);
    setTabOrder(m_okButton, m_cancelButton);
}

void CTimePeriodDlg::SetInterval(const model::Interval& interval)
{
    ShowStamp(interval.start, *m_startDateEdit, *m_startTimeEdit);
    ShowStamp(interval.EffectiveStop(), *m_endDateEdit, *m_endTimeEdit);
}

bool CTimePeriodDlg::GetInterval(model::Interval& interval) const
{
    model::Interval read;
    if (!ReadStamp(*m_startDateEdit, *m_startTimeEdit, read.start) ||
        !ReadStamp(*m_endDateEdit, *m_endTimeEdit, read.stop)) {
        return false;
    }
    read.closed = true;
    interval = read;
    return true;
}

void CTimePeriodDlg::accept()
{
    model::Interval interval;
    if (!GetInterval(interval)) {
        m_app.ShowMessage(this,
                          QStringLiteral("The start or the end is not a valid local date and time. Please correct "
                                         "the period."),
                          kPeriodCaption, app::MessageIcon::Warning);
        m_startDateEdit->setFocus();
        return;
    }
    // A period running backwards would count as negative time and confuse every merge of intervals.
    if (interval.stop < interval.start) {
        m_app.ShowMessage(this,
                          QStringLiteral("The end of the period lies before its start. Please correct the period."),
                          kPeriodCaption, app::MessageIcon::Warning);
        m_endDateEdit->setFocus();
        return;
    }
    if (m_saver && !m_saver(interval)) {
        return;
    }
    QDialog::accept();
}

// ---- Edit task dialog ----

CEditTaskDlg::CEditTaskDlg(app::CKelmoraApp& app, std::int32_t taskId, QWidget* parent)
    : QDialog(parent), m_app(app), m_nameEdit(new QLineEdit(this)), m_categoryCombo(new QComboBox(this)),
      m_categoriesButton(MakeButton(QStringLiteral("..."), this, "categoriesButton")),
      m_periodCombo(new QComboBox(this)), m_intervalModel(new QStandardItemModel(0, 3, this)),
      m_intervalList(new QTreeView(this)), m_addButton(MakeButton(QStringLiteral("Add"), this, "addButton")),
      m_editButton(MakeButton(QStringLiteral("Edit"), this, "editButton")),
      m_deleteButton(MakeButton(QStringLiteral("Delete"), this, "deleteButton"))
{
    setObjectName("editTaskDlg");
    setWindowTitle(kEditCaption);

    m_task.id = taskId;
    m_loaded = taskId >= 0 && m_task.Load(m_app.DataFolder());
    if (!m_loaded) {
        // A failed load may leave part of the file behind; show nothing of it.
        m_task = model::Task();
        m_task.id = taskId;
    }
    m_original = m_task;

    m_nameEdit->setObjectName("nameEdit");
    m_categoryCombo->setObjectName("categoryCombo");
    m_categoriesButton->setToolTip(QStringLiteral("Task categories"));
    m_categoriesButton->setEnabled(false);
    m_periodCombo->setObjectName("periodCombo");
    m_periodCombo->addItems({QStringLiteral("This day"), QStringLiteral("This week"), QStringLiteral("This month"),
                             QStringLiteral("This year"), QStringLiteral("All time")});
    m_periodCombo->setCurrentIndex(0);

    m_intervalModel->setHorizontalHeaderLabels(
        {QStringLiteral("Start"), QStringLiteral("End"), QStringLiteral("Duration")});
    m_intervalList->setObjectName("intervalList");
    m_intervalList->setModel(m_intervalModel);
    m_intervalList->setRootIsDecorated(false);
    m_intervalList->setUniformRowHeights(true);
    m_intervalList->setAllColumnsShowFocus(true);
    m_intervalList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_intervalList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_intervalList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_intervalList->header()->setSectionsClickable(false);
    m_intervalList->header()->setStretchLastSection(true);
    // Sized from the font, so the date-time texts fit at any scale factor.
    const int stampWidth = m_intervalList->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00:00  ")) +
                           m_intervalList->style()->pixelMetric(QStyle::PM_HeaderMargin) * 4;
    m_intervalList->header()->resizeSection(0, stampWidth);
    m_intervalList->header()->resizeSection(1, stampWidth);
    m_intervalList->setMinimumWidth(stampWidth * 3);

    auto* buttons = new QDialogButtonBox(this);
    buttons->setObjectName("buttonBox");
    m_closeButton = buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::AcceptRole);
    m_closeButton->setObjectName("closeButton");
    m_closeButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CEditTaskDlg::accept);

    connect(m_addButton, &QPushButton::clicked, this, &CEditTaskDlg::OnAdd);
    connect(m_editButton, &QPushButton::clicked, this, &CEditTaskDlg::OnEdit);
    connect(m_deleteButton, &QPushButton::clicked, this, &CEditTaskDlg::OnDelete);
    connect(m_categoriesButton, &QPushButton::clicked, this, &CEditTaskDlg::OnCategories);
    connect(m_categoryCombo, &QComboBox::currentIndexChanged, this, &CEditTaskDlg::OnCategoryChanged);
    connect(m_periodCombo, &QComboBox::currentIndexChanged, this, &CEditTaskDlg::FillIntervalList);
    connect(m_intervalList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CEditTaskDlg::UpdateButtons);
    connect(m_intervalList, &QTreeView::doubleClicked, this, &CEditTaskDlg::OnEdit);

    auto* grid = new QGridLayout;
    grid->addWidget(MakeLabel(QStringLiteral("Task name"), m_nameEdit, this, "nameLabel"), 0, 0);
    grid->addWidget(m_nameEdit, 0, 1, 1, 2);
    grid->addWidget(MakeLabel(QStringLiteral("Category"), m_categoryCombo, this, "categoryLabel"), 1, 0);
    grid->addWidget(m_categoryCombo, 1, 1);
    grid->addWidget(m_categoriesButton, 1, 2);
    grid->addWidget(MakeLabel(QStringLiteral("Period"), m_periodCombo, this, "periodLabel"), 2, 0);
    grid->addWidget(m_periodCombo, 2, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    auto* intervalButtons = new QHBoxLayout;
    intervalButtons->addWidget(m_addButton);
    intervalButtons->addWidget(m_editButton);
    intervalButtons->addWidget(m_deleteButton);
    intervalButtons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(MakeLabel(QStringLiteral("Time periods:"), m_intervalList, this, "intervalLabel"));
    layout->addWidget(m_intervalList, 1);
    layout->addLayout(intervalButtons);
    layout->addWidget(buttons);

    setTabOrder(m_nameEdit, m_categoryCombo);
    setTabOrder(m_categoryCombo, m_categoriesButton);
    setTabOrder(m_categoriesButton, m_periodCombo);
    setTabOrder(m_periodCombo, m_intervalList);
    setTabOrder(m_intervalList, m_addButton);
    setTabOrder(m_addButton, m_editButton);
    setTabOrder(m_editButton, m_deleteButton);
    setTabOrder(m_deleteButton, m_closeButton);

    ShowTask();
    FillCategories();
}

void CEditTaskDlg::ShowTask()
{
    m_nameEdit->setText(FromUtf8(m_task.name));
    FillIntervalList();
    UpdateButtons();
}

void CEditTaskDlg::SetCategoriesDialogRunner(CategoriesDialogRunner runner)
{
    m_categoriesRunner = std::move(runner);
    m_categoriesButton->setEnabled(static_cast<bool>(m_categoriesRunner));
}

int CEditTaskDlg::exec()
{
    if (!m_loaded) {
        m_app.ShowMessage(parentWidget(), QStringLiteral("The task could not be read. It may have been deleted."),
                          kEditCaption, app::MessageIcon::Error);
        return Rejected;
    }
    return QDialog::exec();
}

void CEditTaskDlg::FillIntervalList()
{
    m_intervalModel->removeRows(0, m_intervalModel->rowCount());
    model::Interval period;
    const bool allTime = !period.SetCalendarPeriod(m_periodCombo->currentIndex());
    for (std::int32_t index = 0; index < m_task.intervals.Count(); ++index) {
        const model::Interval interval = m_task.intervals.At(index);
        if (!allTime) {
            const model::Interval overlap = interval.Intersect(period);
            if (!(overlap.stop > overlap.start)) {
                continue;
            }
        }
        QList<QStandardItem*> row{new QStandardItem(FromUtf8(interval.start.Format())),
                                  new QStandardItem(FromUtf8(interval.EffectiveStop().Format())),
                                  new QStandardItem(FromUtf8(interval.Duration().Format()))};
        for (QStandardItem* item : row) {
            item->setEditable(false);
        }
        row.front()->setData(index, Qt::UserRole);
        // Newest first.
        m_intervalModel->insertRow(0, row);
    }
    UpdateButtons();
}

void CEditTaskDlg::FillCategories()
{
    FillCategoryCombo(m_app, *m_categoryCombo);
    const int found = m_categoryCombo->findData(m_app.Store().FindCategoryOfTask(m_task.id));
    if (found >= 0) {
        const QSignalBlocker blocker(m_categoryCombo);
        m_categoryCombo->setCurrentIndex(found);
    }
}

void CEditTaskDlg::UpdateButtons()
{
    const bool marked = MarkedInterval() >= 0;
    m_editButton->setEnabled(marked);
    m_deleteButton->setEnabled(marked);
}

std::int32_t CEditTaskDlg::MarkedInterval() const
{
    const QModelIndexList rows = m_intervalList->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        return -1;
    }
    return m_intervalModel->item(rows.front().row(), 0)->data(Qt::UserRole).toInt();
}

bool CEditTaskDlg::RunTimePeriodDlg(const model::Interval* from, model::Interval& result)
{
    CTimePeriodDlg dialog(m_app, this);
    if (from != nullptr) {
        dialog.SetInterval(*from);
    }
    // Asked while the period is still open, so that after No the user can correct it.
    dialog.SetSaver(
        [this, &dialog](const model::Interval& span) { return app::ConfirmOverlap(m_app, &dialog, m_task.id, span); });
    return dialog.exec() == Accepted && dialog.GetInterval(result);
}

void CEditTaskDlg::ShowSpanRefused(const std::string& reason)
{
    QString text = QString::fromStdString(reason);
    if (!text.isEmpty()) {
        text[0] = text[0].toUpper();
    }
    m_app.ShowMessage(this, text + QLatin1Char('.'), app::kErrorCaption, app::MessageIcon::Error);
}

void CEditTaskDlg::OnAdd()
{
    model::Interval interval;
    if (!RunTimePeriodDlg(nullptr, interval)) {
        return;
    }
    std::string error;
    if (!model::InsertSpan(m_task, interval, &error)) {
        ShowSpanRefused(error);
        return;
    }
    FillIntervalList();
}

void CEditTaskDlg::OnEdit()
{
    const std::int32_t index = MarkedInterval();
    if (index < 0) {
        m_app.ShowMessage(this, QStringLiteral("Select interval to edit"), app::kErrorCaption, app::MessageIcon::Error);
        return;
    }
    const model::Interval old = m_task.intervals.At(index);
    model::Interval changed;
    if (!RunTimePeriodDlg(&old, changed)) {
        return;
    }
    // On a copy, so a refused span leaves the list as it was.
    model::Task edited = m_task;
    edited.intervals.RemoveAt(index);
    std::string error;
    if (!model::InsertSpan(edited, changed, &error)) {
        ShowSpanRefused(error);
        return;
    }
    m_task = std::move(edited);
    FillIntervalList();
}

void CEditTaskDlg::OnDelete()
{
    const std::int32_t index = MarkedInterval();
    if (index < 0) {
        m_app.ShowMessage(this, QStringLiteral("Select interval to delete"), app::kErrorCaption,
                          app::MessageIcon::Error);
        return;
    }
    if (!m_app.AskYesNo(this, QStringLiteral("Are you sure that you want to delete selected interval?"),
                        QStringLiteral("Delete interval"))) {
        return;
    }
    m_task.intervals.RemoveAt(index);
    FillIntervalList();
}

void CEditTaskDlg::OnCategoryChanged(int index)
{
    if (!m_loaded || index < 0) {
        return;
    }
    const std::int32_t categoryId = m_categoryCombo->itemData(index).toInt();
    bool moved = RemoveFromCategories(m_app, m_task.id);
    if (categoryId != -1) {
        moved = AddToCategory(m_app.DataFolder(), categoryId, m_task.id) && moved;
    }
    if (!moved) {
        m_app.ShowMessage(this, QStringLiteral("The category of the task could not be changed completely."),
                          kEditCaption, app::MessageIcon::Error);
        // Show where the catalogue really puts the task now.
        FillCategories();
    }
    PostToHub(m_app, app::kMsgTimeLogChanged);
}

void CEditTaskDlg::OnCategories()
{
    if (m_categoriesRunner && m_categoriesRunner(this)) {
        FillCategories();
    }
}

void CEditTaskDlg::accept()
{
    if (!m_loaded) {
        QDialog::reject();
        return;
    }
    const QString name = m_nameEdit->text();
    if (name.isEmpty()) {
        m_app.ShowMessage(this, kEmptyNameText, kEditCaption, app::MessageIcon::Warning);
        m_nameEdit->setFocus();
        return;
    }
    const std::string utf8Name = name.toStdString();
    if (model::FindTaskByName(m_app.Store(), utf8Name, m_task.id) != -1) {
        m_app.ShowMessage(this, NameInUseText(name), kEditCaption, app::MessageIcon::Warning);
        m_nameEdit->setFocus();
        return;
    }
    std::optional<model::FolderLock> lock;
    if (!app::LockForChange(m_app, this, lock)) {
        return;
    }
    model::Task probe;
    probe.id = m_task.id;
    if (!probe.Load(m_app.DataFolder())) {
        lock.reset();
        // Saving now would bring back a task that was deleted while the dialog was open.
        m_app.ShowMessage(this,
                          QStringLiteral("The task \"%1\" can no longer be read. It may have been deleted. "
                                         "Nothing was saved.")
                              .arg(FromUtf8(m_task.name)),
                          kEditCaption, app::MessageIcon::Warning);
        QDialog::reject();
        return;
    }
    if (!app::SameContent(probe, m_original)) {
        lock.reset();
        // Saving now would silently undo what another program (or the tray) changed meanwhile. The dialog
        // shows the task as it is now instead, for the user to make the changes again.
        m_task = probe;
        m_original = probe;
        ShowTask();
        m_app.ShowMessage(this,
                          QStringLiteral("The task \"%1\" was changed outside this dialog after it was opened. "
                                         "Nothing was saved; the dialog now shows the task as it is, so you can "
                                         "make your changes again.")
                              .arg(FromUtf8(probe.name)),
                          kEditCaption, app::MessageIcon::Warning);
        return;
    }
    model::Task edited = m_task;
    edited.name = utf8Name;
    std::string error;
    if (!edited.Save(m_app.DataFolder(), &error)) {
        lock.reset();
        m_app.ShowMessage(this, QStringLiteral("The task could not be saved: %1").arg(FromUtf8(error)), kEditCaption,
                          app::MessageIcon::Error);
        return;
    }
    m_task = std::move(edited);
    // Deleting or reshaping the running interval ends it; the program must not go on calling it current.
    app::ForgetCurrentTaskIfStopped(m_app, m_task);
    // Names and spans show in the time log, whose row count may not have changed.
    PostToHub(m_app, app::kMsgTimeLogChanged);
    QDialog::accept();
}

} // namespace kelmora::ui
