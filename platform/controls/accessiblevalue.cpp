#include "platform/controls/accessiblevalue.h"

namespace platform {

void* AccessibleValue::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString AccessibleValue::text(QAccessible::Text text) const {
    return text == QAccessible::Value ? valueText() : QAccessibleWidget::text(text);
}

} // namespace platform
