#pragma once

#include <QAccessible>
#include <QAccessibleWidget>

namespace platform {

// What assistive technology is told of a control that holds a number: its value and range, and
// the value as the user reads it (the text of QAccessible::Value).
class AccessibleValue : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    AccessibleValue(QWidget* control, QAccessible::Role role) : QAccessibleWidget(control, role) {}

    void* interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text text) const override;

protected:
    virtual QString valueText() const = 0;
};

// From the first call on, every control of the class Control is described by an Accessible made
// from it. Qt's accessibility cache owns what the factory makes.
template <class Control, class Accessible> void describeAs() {
    static const bool installed = [] {
        QAccessible::installFactory([](const QString&, QObject* object) -> QAccessibleInterface* {
            auto* control = qobject_cast<Control*>(object);
            return control ? new Accessible(control) : nullptr;
        });
        return true;
    }();
    (void)installed;
}

} // namespace platform
