#pragma once

#include "model/timestamp.h"

class QDateEdit;
class QTimeEdit;
class QWidget;

namespace kelmora::app {

// Date and time pickers as every dialog of the program uses them: ISO dates with a calendar, times with
// seconds, both in local wall-clock time.
QDateEdit* MakeDateEdit(QWidget* parent, const char* objectName);
QTimeEdit* MakeTimeEdit(QWidget* parent, const char* objectName);

// Shows `stamp` in local time, to the second.
void ShowStamp(const model::TimeStamp& stamp, QDateEdit& date, QTimeEdit& time);
// Reads the pickers as local time (milliseconds 0). False for a time the zone does not have (one skipped
// when daylight-saving time begins); `stamp` is then left as it was.
bool ReadStamp(const QDateEdit& date, const QTimeEdit& time, model::TimeStamp& stamp);
// The stamp without its milliseconds, which the pickers do not show: what they are compared with.
model::TimeStamp WholeSecond(const model::TimeStamp& stamp);

} // namespace kelmora::app
