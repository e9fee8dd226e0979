#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

namespace platform {

// The file list control: a folder and a wildcard pattern (see FilePattern: ";"-separated fragments,
// matched without regard to case, "*.*" matches every name). Its entries are the names of the
// folder's regular files that match (a symbolic link counts by what it leads to; folders, FIFOs,
// sockets and devices never count), hidden files (names beginning with ".") excluded, sorted
// without regard to case (case-folded names compared character by character, ties broken by the
// exact name, so the order never depends on chance), indexed from 0. Names that are not valid
// UTF-8 cannot be handed on as text and are left out. An empty pattern lists nothing.
// A new list holds the process's working directory and the pattern "*.*". The list is kept
// hidden by the main window.
class FileListBox : public QObject {
public:
    explicit FileListBox(QObject* parent = nullptr);
    ~FileListBox() override;

    // The folder as an absolute path without "." or ".." parts or a trailing separator.
    QString Path() const;
    // Re-reads the new folder (a relative one counts from the working directory). Throws
    // RuntimeError(76) for a path that does not name a folder (missing, or a file) and
    // RuntimeError(75) for a folder that cannot be read; the previous folder and entries stay.
    void setPath(const QString& folder);

    QString Pattern() const;
    // Re-reads the folder with the new pattern.
    void setPattern(const QString& pattern);

    // Brings the list up to date with the disk, as a full re-read would, but reads the folder
    // only when it may have changed since the last reading: cheap enough for ten calls a second.
    // A folder that has vanished lists nothing until it is back.
    void Refresh();

    int ListCount() const;
    // Throws RuntimeError(9) for an index outside 0 .. ListCount() - 1.
    QString List(int index) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace platform
