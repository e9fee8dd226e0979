#include "platform/controls/textbox.h"

#include "platform/files/filenames.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>
#include <algorithm>

namespace platform {

void setText(TextBox& box, const QString& text) {
    box.keepText(text);
    box.setCursorPosition(0);
}

QStringList droppedFiles(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile() || url.toLocalFile().isEmpty())
            continue;
        // The path's own bytes: Qt's local file name would turn a byte that is not UTF-8 into
        // U+FFFD.
        const QString path =
            decodeName(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
        paths.push_back(url.host().isEmpty() ? path : QStringLiteral("//") + url.host() + path);
    }
    return paths;
}

TextBox::TextBox(QWidget* parent) : QLineEdit(parent) {
    // Moves that do not pass through this box (from the menu bar, or while the window was not
    // active) are seen here.
    focusWatch_ = connect(qApp, &QApplication::focusChanged, this, &TextBox::focusMoved);
    connect(this, &QLineEdit::textChanged, this, &TextBox::shownChanged);
}

TextBox::~TextBox() {
    // The base class still moves the focus away while it is destroyed.
    disconnect(focusWatch_);
}

void TextBox::keepText(const QString& text) {
    text_ = text;
    shown_ = readableName(text);
    QLineEdit::setText(shown_);
}

void TextBox::shownChanged(const QString& shown) {
    if (shown == shown_)
        return;
    // What lies before and after the change keeps what it stood for; the change, which ends at the
    // cursor, is taken as typed. (Both texts have a character for each of text_'s.)
    const qsizetype cursor = std::clamp<qsizetype>(cursorPosition(), 0, shown.size());
    qsizetype after = 0;
    while (after < shown.size() - cursor && after < shown_.size() &&
           shown[shown.size() - 1 - after] == shown_[shown_.size() - 1 - after])
        ++after;
    qsizetype before = 0;
    while (before < shown.size() - after && before < shown_.size() - after &&
           shown[before] == shown_[before])
        ++before;
    text_ =
        text_.left(before) + shown.mid(before, shown.size() - before - after) + text_.right(after);
    shown_ = shown;
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
