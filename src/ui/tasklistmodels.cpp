#include "tasklistmodels.h"

#include "app/icons.h"

#include <QFont>
#include <QIcon>
#include <QPixmap>

#include <algorithm>

namespace kelmora::ui {

// ---- TaskListModel ----

void TaskListModel::SetRows(std::vector<Row> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

int TaskListModel::RowOf(std::int32_t id) const
{
    const auto it = std::find_if(m_rows.begin(), m_rows.end(), [id](const Row& row) { return row.id == id; });
    return it == m_rows.end() ? -1 : static_cast<int>(it - m_rows.begin());
}

void TaskListModel::SetTime(int row, const model::TimeSpan& time)
{
    if (row < 0 || row >= rowCount()) {
        return;
    }
    m_rows[static_cast<std::size_t>(row)].time = time;
    emit dataChanged(index(row, 1), index(row, 1), {Qt::DisplayRole});
}

void TaskListModel::RemoveRow(int row)
{
    if (row < 0 || row >= rowCount()) {
        return;
    }
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

void TaskListModel::SetRunningId(std::int32_t id)
{
    if (id == m_runningId) {
        return;
    }
    m_runningId = id;
    if (m_runningIcon.isNull()) {
        m_runningIcon = app::MakeIcon(app::IconKind::Running);
        // Every row holds an icon, most of them blank, so the running one is not taller than the rest.
        QPixmap blank(m_runningIcon.availableSizes().value(0, QSize(16, 16)));
        blank.fill(Qt::transparent);
        m_blankIcon = QIcon(blank);
    }
    if (!m_rows.empty()) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, 1), {Qt::FontRole, Qt::DecorationRole});
    }
}

void TaskListModel::SortRows(int column, bool descending)
{
    emit layoutAboutToBeChanged();
    if (column == 0) {
        // Byte by byte, exact case, as names were always compared.
        std::stable_sort(m_rows.begin(), m_rows.end(), [descending](const Row& a, const Row& b) {
            const int order = a.name.compare(b.name);
            return descending ? order > 0 : order < 0;
        });
    } else {
        std::stable_sort(m_rows.begin(), m_rows.end(), [descending](const Row& a, const Row& b) {
            return descending ? a.time < b.time : a.time > b.time;
        });
    }
    emit layoutChanged();
}

int TaskListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TaskListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant TaskListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        return index.column() == 0 ? QString::fromStdString(row.name) : QString::fromStdString(row.time.Format());
    }
    if (role == Qt::UserRole) {
        return row.id;
    }
    const bool running = row.id == m_runningId && m_runningId != -1;
    if (running && role == Qt::FontRole) {
        QFont font;
        font.setBold(true);
        return font;
    }
    if (role == Qt::DecorationRole && index.column() == 0) {
        return running ? m_runningIcon : m_blankIcon;
    }
    return {};
}

QVariant TaskListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    return section == 0 ? QStringLiteral("Task") : QStringLiteral("Time");
}

// ---- TimeLogModel ----

void TimeLogModel::SetLog(model::TimeLog log, std::unordered_map<std::int32_t, std::string> categoryOfTask)
{
    beginResetModel();
    m_log = std::move(log);
    m_newestStop.reset();
    m_categoryOfTask = std::move(categoryOfTask);
    endResetModel();
}

model::TimeLogEntry TimeLogModel::EntryAt(int row) const
{
    model::TimeLogEntry entry = m_log.At(m_log.Count() - 1 - row);
    if (row == 0 && m_newestStop) {
        entry.stop = *m_newestStop;
    }
    return entry;
}

void TimeLogModel::UpdateNewestStop(const model::TimeStamp& stop)
{
    if (m_log.Count() == 0) {
        return;
    }
    m_newestStop = stop;
    emit dataChanged(index(0, 1), index(0, 3), {Qt::DisplayRole});
}

int TimeLogModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_log.Count();
}

int TimeLogModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 5;
}

QVariant TimeLogModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const model::TimeLogEntry entry = EntryAt(index.row());
    if (role == Qt::UserRole) {
        return entry.taskId;
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) {
        return {};
    }
    switch (index.column()) {
    case 0:
        return QString::fromStdString(m_log.TaskName(entry.taskId));
    case 1:
        return QString::fromStdString(entry.Duration().Format());
    case 2:
        return QString::fromStdString(entry.start.Format());
    case 3:
        return QString::fromStdString(entry.EffectiveStop().Format());
    default: {
        const auto it = m_categoryOfTask.find(entry.taskId);
        return it == m_categoryOfTask.end() ? QStringLiteral("(No category)") : QString::fromStdString(it->second);
    }
    }
}

QVariant TimeLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    static const char* const kHeaders[] = {"Task", "Duration", "Start", "End", "Category"};
    return section >= 0 && section < 5 ? QString::fromLatin1(kHeaders[section]) : QVariant();
}

} // namespace kelmora::ui
