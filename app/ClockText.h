#pragma once
// The status bar's clock: "09:05 AM  Jan 02,2001" (12-hour clock, the locale's AM/PM and
// abbreviated month name, two blanks, no blank after the comma); in the locale's own short
// date and time when the window speaks the locale's language (Translated).

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace corvane::app {

QString ClockText(const QDateTime& moment, const QLocale& locale = QLocale(), bool translated = false);

}  // namespace corvane::app
