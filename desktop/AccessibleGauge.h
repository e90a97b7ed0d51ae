#pragma once
// What assistive technology (a screen reader, through AT-SPI) sees of the gauge: a progress
// bar whose value is the gauge's progress within its range. The gauge announces a change of
// the whole percentage, as often as it repaints.

#include <QAccessibleInterface>
#include <QString>

class QObject;

namespace corvane::desktop {

// For QAccessible::installFactory: the interface of a TCorvaneGauge, nothing for any other
// object.
QAccessibleInterface* AccessibleGauge(const QString& className, QObject* object);

}  // namespace corvane::desktop
