#include "platform/windows/messagebox.h"

#include <QApplication>
#include <QMessageBox>

namespace platform {

namespace {

MessageBoxHandler& handler() {
    static MessageBoxHandler instance;
    return instance;
}

QMessageBox::Icon iconOf(int style) {
    switch (style & 0x70) {
    case vbCritical:
        return QMessageBox::Critical;
    case vbQuestion:
        return QMessageBox::Question;
    case vbExclamation:
        return QMessageBox::Warning;
    case vbInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

int showReal(const MessageBoxRequest& request) {
    messageBox(request)->exec();
    return vbOK;
}

} // namespace

std::unique_ptr<QMessageBox> messageBox(const MessageBoxRequest& request) {
    // Qt's box has the role of an alert and announces itself as one when shown; the description
    // puts the text on the alert itself, where a screen reader reads it with the title.
    auto box = std::make_unique<QMessageBox>(iconOf(request.style), request.title, request.prompt,
                                             QMessageBox::Ok);
    box->setAccessibleDescription(request.prompt);
    box->setWindowModality(Qt::ApplicationModal);
    return box;
}

int MsgBox(const QString& prompt, int style, const QString& title) {
    const MessageBoxRequest request{prompt, style, title};
    return handler() ? handler()(request) : showReal(request);
}

void setMessageBoxHandler(MessageBoxHandler h) {
    handler() = std::move(h);
}

namespace {

DoEventsObserver& doEventsObserver() {
    static DoEventsObserver instance;
    return instance;
}

} // namespace

void setDoEventsObserver(DoEventsObserver observer) {
    doEventsObserver() = std::move(observer);
}

void DoEvents() {
    if (doEventsObserver())
        doEventsObserver()();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace platform
