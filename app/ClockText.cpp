#include "ClockText.h"

namespace corvane::app {

QString ClockText(const QDateTime& moment, const QLocale& locale, bool translated) {
    if (translated) {
        return locale.toString(moment.time(), QLocale::ShortFormat) + QStringLiteral("  ") +
               locale.toString(moment.date(), QLocale::ShortFormat);
    }
    return locale.toString(moment, QStringLiteral("hh:mm AP  MMM dd,yyyy"));
}

}  // namespace corvane::app
