#pragma once

#include <QString>
#include <functional>
#include <memory>

class QMessageBox;

namespace platform {

// Buttons and icons of a message box, combined by adding them (as the platform's constants do).
enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
};
enum MsgBoxResult : int { vbOK = 1 };

struct MessageBoxRequest {
    QString prompt;
    int style = vbOKOnly;
    QString title;
    int icon() const { return style & 0x70; }
};

// Shows a modal message box and returns the button the user chose.
int MsgBox(const QString& prompt, int style, const QString& title);

// The box that MsgBox shows when no handler answers it, not shown yet. Assistive technology meets
// it as an alert that carries its text as the description, and is told when it appears.
std::unique_ptr<QMessageBox> messageBox(const MessageBoxRequest& request);

// The seam through which every message box goes. An empty handler restores the real boxes;
// tests install one that records the request and answers it at once.
using MessageBoxHandler = std::function<int(const MessageBoxRequest&)>;
void setMessageBoxHandler(MessageBoxHandler handler);

// Lets pending window messages through once, then returns.
void DoEvents();

// The seam of DoEvents: the observer runs at the start of every DoEvents, before the pending
// messages are handled. Tests use it to act between two steps as a user would: what it posts is
// delivered by that very DoEvents. An empty observer removes it.
using DoEventsObserver = std::function<void()>;
void setDoEventsObserver(DoEventsObserver observer);

} // namespace platform
