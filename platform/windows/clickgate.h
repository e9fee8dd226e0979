#pragma once

#include <QObject>
#include <QPointer>

class QAbstractButton;

namespace platform {

// Lets a handler that runs while the focus moves (a box's lost-focus check) refuse the click
// that moved it: the mouse press or access key that brought the focus to a guarded button then
// does not go on to click it. The focus stays where the user sent it. An access key that is not
// refused clicks the guarded button at once.
class ClickGate : public QObject {
public:
    explicit ClickGate(QObject* parent = nullptr);

    void guard(QAbstractButton& button);
    // Drops the click that is bringing the focus to `target` (the widget that took it), if that is
    // a guarded button. Only the event under way is dropped: a later click on it goes through.
    void dropPendingClick(QObject* target);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QObject> dropped_;
};

} // namespace platform
