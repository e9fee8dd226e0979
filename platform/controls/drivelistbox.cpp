#include "platform/controls/drivelistbox.h"

#include "platform/errors/runtimeerror.h"
#include "platform/files/filenames.h"
#include "platform/files/workingdirectory.h"

#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <algorithm>

namespace platform {

namespace {

std::vector<Drive> readyDrives() {
    std::vector<Drive> drives = systemDrives();
    std::erase_if(drives, [](const Drive& drive) { return !isReady(drive); });
    return drives;
}

} // namespace

DriveListBox::DriveListBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    setSizeAdjustPolicy(QComboBox::AdjustToContentsOnFirstShow);
    std::vector<platform::Drive> drives = readyDrives();
    const std::optional<platform::Drive> working = driveOf(drives, workingDirectory());
    const QString current = working          ? working->text()
                            : drives.empty() ? QString()
                                             : drives.front().text();
    fill(std::move(drives), current);
    connect(this, &QComboBox::currentIndexChanged, this, &DriveListBox::indexChanged);
}

QString DriveListBox::Drive() const {
    return current_;
}

void DriveListBox::setDrive(const QString& text) {
    std::optional<platform::Drive> drive = driveOf(drives_, text);
    // A drive mounted since the list was read (the directory list may have opened its mount
    // point) is found once the drives are read again.
    if (drive != driveOf(systemDrives(), text)) {
        Refresh();
        drive = driveOf(drives_, text);
    }
    if (!drive)
        platform::raise(ErrDeviceUnavailable);
    if (drive->text() == current_)
        return;
    const auto it = std::find(drives_.begin(), drives_.end(), *drive);
    setCurrentIndex(static_cast<int>(it - drives_.begin()));
}

void DriveListBox::Refresh() {
    std::vector<platform::Drive> drives = readyDrives();
    const auto current =
        std::find_if(drives_.begin(), drives_.end(),
                     [&](const platform::Drive& d) { return d.text() == current_; });
    if (current != drives_.end() &&
        std::find(drives.begin(), drives.end(), *current) == drives.end()) {
        drives.push_back(*current);
        std::sort(drives.begin(), drives.end(),
                  [](const auto& a, const auto& b) { return a.mountPoint < b.mountPoint; });
    }
    fill(std::move(drives), current_);
}

void DriveListBox::showPopup() {
    Refresh();
    QComboBox::showPopup();
}

void DriveListBox::fill(std::vector<platform::Drive> drives, const QString& current) {
    const QSignalBlocker blocker(this);
    drives_ = std::move(drives);
    clear();
    const QIcon icon = style()->standardIcon(QStyle::SP_DriveHDIcon);
    for (const platform::Drive& drive : drives_)
        addItem(icon, readableName(drive.text()), drive.text());
    current_ = current;
    setCurrentIndex(findData(current));
}

void DriveListBox::indexChanged(int index) {
    const QString text = index < 0 ? QString() : itemData(index).toString();
    if (text == current_)
        return;
    current_ = text;
    emit Change();
}

// Qt's styles draw the focus mark only after the keyboard has moved the focus in the window; the
// list takes the focus when the folder chooser opens, and the user must see that at once.
void DriveListBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    if (hasFocus())
        option.state |= QStyle::State_KeyboardFocusChange;
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

} // namespace platform
