#include "app/AccessiblePicture.h"

#include <QAccessibleWidget>
#include <QPointer>

#include "app/Picture.h"
#include "desktop/AccessibleGauge.h"

namespace corvane::app {

namespace {

// Asked each time, since a picture may be given its OnClick after assistive technology
// first saw it.
class TAccessiblePicture : public QAccessibleWidget {
public:
    explicit TAccessiblePicture(TPicture* picture) : QAccessibleWidget(picture, QAccessible::Graphic) {}

    QAccessible::Role role() const override { return Clickable() ? QAccessible::Button : QAccessible::Graphic; }

    QStringList actionNames() const override { return Clickable() ? QStringList{pressAction()} : QStringList(); }

    // Acts once the request has been answered: the stamp's send waits in its own event loop
    // until the server is done, and a screen reader must not wait for that.
    void doAction(const QString& action) override {
        if (action != pressAction() || !Clickable() || !widget()->isEnabled()) {
            return;
        }
        QMetaObject::invokeMethod(
            Picture(), [picture = QPointer<TPicture>(Picture())] {
                if (picture && picture->OnClick) {
                    picture->OnClick();
                }
            },
            Qt::QueuedConnection);
    }

    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    TPicture* Picture() const { return static_cast<TPicture*>(widget()); }
    bool Clickable() const { return static_cast<bool>(Picture()->OnClick); }
};

}  // namespace

QAccessibleInterface* AccessiblePicture(const QString&, QObject* object) {
    auto* picture = qobject_cast<TPicture*>(object);
    return picture == nullptr ? nullptr : new TAccessiblePicture(picture);
}

void InstallAccessibleControls() {
    static const bool installed = [] {
        QAccessible::installFactory(AccessiblePicture);
        QAccessible::installFactory(desktop::AccessibleGauge);
        return true;
    }();
    (void)installed;
}

}  // namespace corvane::app
