#pragma once

#include <QLineEdit>
#include <QStringList>

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QFocusEvent;
class QMimeData;

namespace platform {

// A text box that reports losing the focus and, when told to, takes files dropped from a file
// manager instead of dropped text.
//
// The box shows its text as readableName shows it. Text() is the text as the program keeps it:
// each character shown for a byte that is not UTF-8 stands for that byte again, as long as the user
// leaves it in place; what the user types is taken as typed (a typed "ü" is UTF-8).
//
// LostFocus() is reported when the focus moves from the box to another control of its window: by
// Tab, a click, an access key or the program. Opening a menu, activating another window or
// closing the window does not count; the box keeps the focus as far as its window is concerned,
// and reports LostFocus() once the focus really goes on to another control of the window (also
// from the menu bar, after Alt).
class TextBox : public QLineEdit {
    Q_OBJECT
public:
    explicit TextBox(QWidget* parent = nullptr);
    ~TextBox() override;

    // With file drops on, a drag is accepted only when it carries local files or folders, and a
    // drop reports their paths through FilesDropped(); dragged text is neither accepted nor
    // inserted. Off at creation (dropped text is inserted as usual).
    void setFileDrops(bool on) { fileDrops_ = on; }
    bool fileDrops() const { return fileDrops_; }

    // The text as the program keeps it; set it with platform::setText.
    QString Text() const { return text_; }
    void keepText(const QString& text);

signals:
    void LostFocus();
    // The full local paths of the dropped files and folders, in the order of the drag's data.
    void FilesDropped(const QStringList& paths);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void focusMoved(QWidget* from, QWidget* to);
    void leaveFor(const QWidget* to);
    void shownChanged(const QString& shown);

    bool holdsFocus_ = false;
    bool fileDrops_ = false;
    QMetaObject::Connection focusWatch_;
    QString text_;
    QString shown_; // what the box showed for text_
};

// platform::setText for a text box: it keeps the text as Text() and shows it readably.
void setText(TextBox& box, const QString& text);

// The local files and folders a drag carries (its URLs that name local files, as full paths
// through decodeName).
QStringList droppedFiles(const QMimeData* data);

} // namespace platform
