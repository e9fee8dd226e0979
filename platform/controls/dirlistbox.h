#pragma once

#include <QListWidget>
#include <QString>
#include <QStringList>

class QKeyEvent;

namespace platform {

// The directory list: the folder tree of one drive, shown as the opened folder's ancestors from
// the drive's mount point (the top) down to it, then its subfolders one step further indented.
// The drive is the one that holds the opened folder (see driveOf), so opening another drive's
// mount point starts the tree again at that mount point. A single click only highlights an entry;
// a double click (or Enter) opens it, which changes Path. Entries are numbered as the platform's
// directory list numbers them: the opened folder is -1, its parent -2 and so on up to the top, and
// the subfolders are 0 to ListCount() - 1. Names are shown as readableName shows them; Path and
// List give them as the file system does (decodeName). A new list has the working directory
// opened.
class DirListBox : public QListWidget {
    Q_OBJECT
public:
    explicit DirListBox(QWidget* parent = nullptr);

    // The opened folder as an absolute path without "." or ".." parts or a trailing separator.
    QString Path() const { return path_; }
    // Opens a folder (a relative path counts from the working directory), or, for a drive's text
    // as the drive list shows it, that drive's current folder; the subfolders are read anew even
    // when the folder stays the same. Throws RuntimeError(68) for a drive that is not ready,
    // RuntimeError(76) for a folder that does not exist and RuntimeError(75) for one that cannot
    // be read; the list then stays as it was.
    void setPath(const QString& path);

    // The number of subfolders.
    int ListCount() const;
    // The full path of an entry; throws RuntimeError(9) for an index outside the entries.
    QString List(int index) const;
    // The highlighted entry.
    int ListIndex() const;
    // Highlights an entry; throws RuntimeError(380) for an index outside the entries.
    void setListIndex(int index);

    // Reads the opened folder's subfolders again; a folder that cannot be read keeps its entries.
    void Refresh();

signals:
    // Path changed.
    void Change();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void display(const QString& folder, const QString& top, const QStringList& subfolders);
    void open(const QListWidgetItem* item);

    QString path_;
    QString top_;    // the mount point of path_'s drive
    int opened_ = 0; // the entries from the top down to the opened folder
};

} // namespace platform
