#include "desktop/AccessibleGauge.h"

#include <QAccessibleWidget>

#include "desktop/CorvaneGauge.h"

namespace corvane::desktop {

namespace {

class TAccessibleGauge : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit TAccessibleGauge(TCorvaneGauge* gauge) : QAccessibleWidget(gauge, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ValueInterface ? static_cast<QAccessibleValueInterface*>(this)
                                                   : QAccessibleWidget::interface_cast(type);
    }

    // The percentage the gauge writes over its bar, which is what a sighted user reads.
    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value) {
            return QStringLiteral("%1 %").arg(Gauge()->PercentFilled());
        }
        return QAccessibleWidget::text(kind);
    }

    QVariant currentValue() const override { return Gauge()->Progress(); }
    // Only the program moves the gauge.
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return Gauge()->MaxValue(); }
    QVariant minimumValue() const override { return Gauge()->MinValue(); }
    QVariant minimumStepSize() const override { return 0; }

private:
    TCorvaneGauge* Gauge() const { return static_cast<TCorvaneGauge*>(widget()); }
};

}  // namespace

QAccessibleInterface* AccessibleGauge(const QString&, QObject* object) {
    auto* gauge = qobject_cast<TCorvaneGauge*>(object);
    return gauge == nullptr ? nullptr : new TAccessibleGauge(gauge);
}

}  // namespace corvane::desktop
