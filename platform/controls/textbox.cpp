#include "platform/controls/textbox.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>

namespace platform {

QStringList droppedFiles(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            paths.push_back(url.toLocalFile());
    }
    return paths;
}

TextBox::TextBox(QWidget* parent) : QLineEdit(parent) {
    // Moves that do not pass through this box (from the menu bar, or while the window was not
    // active) are seen here.
    focusWatch_ = connect(qApp, &QApplication::focusChanged, this, &TextBox::focusMoved);
}

TextBox::~TextBox() {
    // The base class still moves the focus away while it is destroyed.
    disconnect(focusWatch_);
}

void TextBox::focusInEvent(QFocusEvent* event) {
    holdsFocus_ = true;
    QLineEdit::focusInEvent(event);
}

void TextBox::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    switch (event->reason()) {
    case Qt::PopupFocusReason:
    case Qt::ActiveWindowFocusReason:
    case Qt::MenuBarFocusReason:
        return;
    default:
        leaveFor(QApplication::focusWidget());
    }
}

void TextBox::focusMoved(QWidget* from, QWidget* to) {
    // A move away from this box itself is judged by its reason, in focusOutEvent.
    if (from != this)
        leaveFor(to);
}

void TextBox::leaveFor(const QWidget* to) {
    if (!holdsFocus_ || !to || to == this || to->window() != window() ||
        qobject_cast<const QMenuBar*>(to))
        return;
    holdsFocus_ = false;
    emit LostFocus();
}

void TextBox::dragEnterEvent(QDragEnterEvent* event) {
    if (!fileDrops_)
        return QLineEdit::dragEnterEvent(event);
    if (droppedFiles(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void TextBox::dragMoveEvent(QDragMoveEvent* event) {
    if (!fileDrops_)
        return QLineEdit::dragMoveEvent(event);
    if (droppedFiles(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void TextBox::dropEvent(QDropEvent* event) {
    if (!fileDrops_)
        return QLineEdit::dropEvent(event);
    const QStringList files = droppedFiles(event->mimeData());
    if (files.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit FilesDropped(files);
}

} // namespace platform
