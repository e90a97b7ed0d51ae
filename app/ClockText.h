#pragma once
// The status bar's clock: "09:05 AM  Jan 02,2001" (12-hour clock, the locale's AM/PM and
// abbreviated month name, two blanks, no blank after the comma).

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace corvane::app {

QString ClockText(const QDateTime& moment, const QLocale& locale = QLocale());

}  // namespace corvane::app
