#pragma once

#include "model/timelog.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace kelmora::ui {

// The tasks with their time in the chosen period, as the Task List window shows them.
class TaskListModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    struct Row
    {
        std::int32_t id = -1;
        std::string name;
        model::TimeSpan time;
    };

    using QAbstractTableModel::QAbstractTableModel;

    void SetRows(std::vector<Row> rows);
    const std::vector<Row>& Rows() const { return m_rows; }
    // Row of the task, or -1.
    int RowOf(std::int32_t id) const;
    void SetTime(int row, const model::TimeSpan& time);
    void RemoveRow(int row);
    // The tracked task's row is marked (bold, with the running icon); -1 for none.
    void SetRunningId(std::int32_t id);

    // Column 0: names byte by byte, ascending unless `descending`. Column 1: the longest time first,
    // unless `descending`, which puts the shortest first.
    void SortRows(int column, bool descending);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<Row> m_rows;
    std::int32_t m_runningId = -1;
    QIcon m_runningIcon;
    QIcon m_blankIcon;
};

// The time log, newest span first. Texts are made only for the rows on screen, so a log of a million
// spans opens and scrolls at once.
class TimeLogModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;

    // Takes the log and the category name of every task (tasks without category are not listed).
    void SetLog(model::TimeLog log, std::unordered_map<std::int32_t, std::string> categoryOfTask);
    const model::TimeLog& Log() const { return m_log; }
    // The entry shown in `row` (row 0 is the newest).
    model::TimeLogEntry EntryAt(int row) const;
    // Moves the newest entry's end to `stop`, for the running span that grows every second.
    void UpdateNewestStop(const model::TimeStamp& stop);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    model::TimeLog m_log;
    // The newest entry's end as the ticks have moved it since the log was built.
    std::optional<model::TimeStamp> m_newestStop;
    std::unordered_map<std::int32_t, std::string> m_categoryOfTask;
};

} // namespace kelmora::ui
