#include "tasklistdlg.h"

#include "app/icons.h"
#include "app/kelmoraapp.h"
#include "app/mainwnd.h"
#include "model/task.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kelmora::ui {

CTaskListDlg::CTaskListDlg(app::CMainWnd& mainWnd) : m_mainWnd(mainWnd), m_tasks(new QTreeWidget(this))
{
    setObjectName("taskListDlg");
    setWindowTitle(QStringLiteral("Task List"));
    setWindowIcon(app::MakeIcon(app::IconKind::Program));
    setMinimumSize(500, 350);
    m_tasks->setObjectName("taskList");
    m_tasks->setRootIsDecorated(false);
    m_tasks->setHeaderLabels({QStringLiteral("Task"), QStringLiteral("Time")});
    m_tasks->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tasks);
}

void CTaskListDlg::ShowDialog()
{
    RefillTaskList();
    showNormal();
    raise();
    activateWindow();
}

void CTaskListDlg::HideDialog()
{
    hide();
}

bool CTaskListDlg::IsVisible() const
{
    return isVisible();
}

void CTaskListDlg::RefillTaskList()
{
    m_tasks->clear();
    app::CKelmoraApp& app = m_mainWnd.App();
    for (const std::int32_t id : app.Store().TaskIds()) {
        model::Task task;
        task.id = id;
        if (!task.Load(app.DataFolder())) {
            continue;
        }
        auto* item = new QTreeWidgetItem(m_tasks);
        item->setText(0, QString::fromStdString(task.name));
        item->setText(1, QString::fromStdString(task.Total().Format()));
        item->setData(0, Qt::UserRole, id);
        if (id == app.CurrentTaskId()) {
            item->setIcon(0, app::MakeIcon(app::IconKind::Running));
        }
    }
}

} // namespace kelmora::ui
