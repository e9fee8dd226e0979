#include "platform/windows/clickgate.h"

#include <QAbstractButton>
#include <QEvent>
#include <QShortcutEvent>
#include <QTimer>

namespace platform {

ClickGate::ClickGate(QObject* parent) : QObject(parent) {}

void ClickGate::guard(QAbstractButton& button) {
    button.installEventFilter(this);
}

void ClickGate::dropPendingClick(QObject* target) {
    dropped_ = target;
    // The press or access key that moved the focus reaches the button before this reset runs.
    QTimer::singleShot(0, this, [this] { dropped_ = nullptr; });
}

bool ClickGate::eventFilter(QObject* watched, QEvent* event) {
    // Events also arrive while the button is being destroyed, when it is no longer one.
    auto* const button = qobject_cast<QAbstractButton*>(watched);
    if (button == nullptr)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        // The application gave the button the focus before the press reaches it here.
        break;
    case QEvent::Shortcut:
        // The access key's focus move is made here, before the button acts on the key, so that a
        // refusal is known before it clicks.
        if (button->focusPolicy() != Qt::NoFocus)
            button->setFocus(Qt::ShortcutFocusReason);
        break;
    default:
        return false;
    }
    if (dropped_ != nullptr && dropped_ == watched) {
        dropped_ = nullptr;
        return true;
    }
    // An access key that goes through clicks at once, as a command button's does; Qt would hold
    // the button down for a tenth of a second first, and "&Umwandeln" would start that much later.
    if (event->type() == QEvent::Shortcut && !static_cast<QShortcutEvent*>(event)->isAmbiguous()) {
        button->click();
        return true;
    }
    return false;
}

} // namespace platform
