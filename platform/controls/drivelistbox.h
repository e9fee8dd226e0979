#pragma once

#include "platform/files/drives.h"

#include <QComboBox>
#include <vector>

class QPaintEvent;

namespace platform {

// The drive list: a one-line drop-down of the system's ready drives that holds one current drive.
// A new list shows the drive of the working directory (or the first drive when no drive holds
// it). The drives are read again whenever the list drops down; the current drive stays listed.
// Drives are shown as readableName shows their text; Drive() gives it as the file system does.
// While it has the focus it carries the focus mark, however it got the focus.
class DriveListBox : public QComboBox {
    Q_OBJECT
public:
    explicit DriveListBox(QWidget* parent = nullptr);

    // The current drive's text as shown ("/home [ext4]"); empty when there is no drive at all.
    QString Drive() const;
    // Selects the drive that `text` names: a drive's text, or a path whose drive is the one with
    // the longest mount point that begins it. Reports Change() when the drive really changes.
    // The drives are read again first when the system's table names another drive for `text`.
    // Throws RuntimeError(68) when no listed drive is named.
    void setDrive(const QString& text);

    // Reads the system's drives again; the current drive stays current (and listed).
    void Refresh();

    void showPopup() override;

signals:
    // The current drive changed, by the user's choice or by setDrive.
    void Change();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void fill(std::vector<platform::Drive> drives, const QString& current);
    void indexChanged(int index);

    std::vector<platform::Drive> drives_;
    QString current_;
};

} // namespace platform
