#pragma once
// What assistive technology sees of a picture that acts when clicked (the stamp that sends,
// the paper clip that attaches): a push button with its accessible name and the Press action,
// which does exactly what the click does. A picture that does nothing stays a picture.

#include <QAccessibleInterface>
#include <QString>

class QObject;

namespace corvane::app {

// For QAccessible::installFactory: the interface of a TPicture (a button while it has an
// OnClick), nothing for any other object.
QAccessibleInterface* AccessiblePicture(const QString& className, QObject* object);

// Installs the factories of this window's own controls (the pictures, the gauge), once.
void InstallAccessibleControls();

}  // namespace corvane::app
