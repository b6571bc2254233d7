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
    model::TimeStamp read;
    if (!read.SetLocal(day.year(), day.month(), day.day(), clock.hour(), clock.minute(), clock.second(), 0)) {
        return false;
    }
    // A time the clocks skip when daylight-saving time begins (02:30 on such a night) is not there; the
    // conversion would quietly move it by an hour. Reading it back shows whether the zone has it.
    model::DateParts back;
    if (!read.GetLocalParts(back) || back.year != day.year() || back.month != day.month() || back.day != day.day() ||
        back.hour != clock.hour() || back.minute != clock.minute() || back.second != clock.second()) {
        return false;
    }
    stamp = read;
    return true;
}

model::TimeStamp WholeSecond(const model::TimeStamp& stamp)
{
    return model::TimeStamp::FromRaw(stamp.days, stamp.ms - stamp.ms % 1000);
}

} // namespace kelmora::app
