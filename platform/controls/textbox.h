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

    bool holdsFocus_ = false;
    bool fileDrops_ = false;
    QMetaObject::Connection focusWatch_;
};

// The local files and folders a drag carries (its URLs that name local files, as full paths).
QStringList droppedFiles(const QMimeData* data);

} // namespace platform
