#include "ClockText.h"

namespace corvane::app {

QString ClockText(const QDateTime& moment, const QLocale& locale) {
    return locale.toString(moment, QStringLiteral("hh:mm AP  MMM dd,yyyy"));
}

}  // namespace corvane::app
