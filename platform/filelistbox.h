#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace platform {

// The file list control: a folder and a wildcard pattern; its entries are the names of the
// folder's regular files that match any ";"-separated fragment of the pattern, without regard to
// case ("*.*" matches every name, one without a dot too), hidden files (names beginning with ".")
// excluded, sorted without regard to case (ties broken by the exact name), indexed from 0.
// An empty pattern lists nothing. The list is kept hidden by the main window.
class FileListBox : public QObject {
public:
    explicit FileListBox(QObject* parent = nullptr);
    ~FileListBox() override;

    QString Path() const;
    // Re-reads the new folder. Throws RuntimeError(76) for a folder that does not exist and keeps
    // the previous one.
    void setPath(const QString& folder);

    QString Pattern() const;
    // Re-reads the folder with the new pattern.
    void setPattern(const QString& pattern);

    // Brings the list up to date with the disk; cheap when nothing changed.
    void Refresh();

    int ListCount() const;
    // Throws RuntimeError(9) for an index outside 0 .. ListCount() - 1.
    QString List(int index) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace platform
