#include "datetimeedits.h"

#include <QDateEdit>
#include <QTimeEdit>

namespace kelmora::app {

QDateEdit* MakeDateEdit(QWidget* parent, const char* objectName)
{
    auto* edit = new QDateEdit(parent);
    edit->setObjectName(QString::fromLatin1(objectName));
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    edit->setCalendarPopup(true);
    return edit;
}

QTimeEdit* MakeTimeEdit(QWidget* parent, const char* objectName)
{
    auto* edit = new QTimeEdit(parent);
    edit->setObjectName(QString::fromLatin1(objectName));
    edit->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    return edit;
}

void ShowStamp(const model::TimeStamp& stamp, QDateEdit& date, QTimeEdit& time)
{
    model::DateParts parts;
    stamp.GetLocalParts(parts);
    date.setDate(QDate(parts.year, parts.month, parts.day));
    time.setTime(QTime(parts.hour, parts.minute, parts.second));
}

bool ReadStamp(const QDateEdit& date, const QTimeEdit& time, model::TimeStamp& stamp)
{
    const QDate day = date.date();
    const QTime clock = time.time();
    return stamp.SetLocal(day.year(), day.month(), day.day(), clock.hour(), clock.minute(), clock.second(), 0);
}

} // namespace kelmora::app
