#include "platform/controls/dirlistbox.h"

#include "platform/errors/resumenext.h"
#include "platform/errors/runtimeerror.h"
#include "platform/files/drives.h"
#include "platform/files/filenames.h"
#include "platform/files/folderlisting.h"
#include "platform/files/workingdirectory.h"

#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>
#include <optional>
#include <sys/stat.h>

namespace platform {

namespace {

constexpr int PathRole = Qt::UserRole;
constexpr int LevelRole = Qt::UserRole + 1;
constexpr int IndentPixels = 10;

// Draws each entry indented by its depth below the root.
class IndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem indented(option);
        indented.rect.setLeft(option.rect.left() + indent(index));
        QStyledItemDelegate::paint(painter, indented, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(indent(index), 0);
    }

private:
    static int indent(const QModelIndex& index) {
        return index.data(LevelRole).toInt() * IndentPixels;
    }
};

// The names of a folder's subfolders (links to folders count), hidden ones left out, sorted
// without regard to case; nothing when the folder cannot be read.
std::optional<QStringList> subfoldersOf(const QString& folder) {
    QStringList names;
    const bool read = readFolder(encodeName(folder).toStdString(), [&](FolderEntry& entry) {
        struct stat status {};
        if (::fstatat(entry.folder, entry.name, &status, 0) == 0 && S_ISDIR(status.st_mode))
            names.push_back(std::move(entry.text));
    });
    if (!read)
        return std::nullopt;
    sortWithoutCase(names);
    return names;
}

bool isFolder(const QString& path) {
    struct stat status {};
    return ::stat(encodeName(path).constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

} // namespace

DirListBox::DirListBox(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new IndentDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    connect(this, &QListWidget::itemDoubleClicked, this, &DirListBox::open);

    path_ = absolutePath(workingDirectory());
    ResumeNext err;
    if (!err.step([&] { setPath(path_); }))
        display(path_, QStringLiteral("/"), {});
}

void DirListBox::setPath(const QString& path) {
    QString folder;
    const std::vector<Drive> drives = systemDrives();
    const auto named = std::find_if(drives.begin(), drives.end(),
                                    [&](const Drive& d) { return d.text() == path; });
    if (named != drives.end()) {
        if (!isReady(*named))
            platform::raise(ErrDeviceUnavailable);
        folder = currentFolder(drives, *named);
    } else {
        if (path.isEmpty())
            platform::raise(ErrPathNotFound);
        folder = absolutePath(path);
    }
    if (!isFolder(folder))
        platform::raise(ErrPathNotFound);
    const std::optional<QStringList> subfolders = subfoldersOf(folder);
    if (!subfolders)
        platform::raise(ErrPathFileAccess);
    const bool changed = folder != path_;
    // The tree is the folder's drive's: it starts at the drive's mount point.
    const std::optional<Drive> holder = driveOf(drives, folder);
    display(folder, holder ? holder->mountPoint : QStringLiteral("/"), *subfolders);
    if (changed)
        emit Change();
}

void DirListBox::Refresh() {
    if (const std::optional<QStringList> subfolders = subfoldersOf(path_)) {
        const int highlighted = ListIndex();
        display(path_, top_, *subfolders);
        if (highlighted >= -opened_ && highlighted < ListCount())
            setListIndex(highlighted);
    }
}

void DirListBox::display(const QString& folder, const QString& top, const QStringList& subfolders) {
    path_ = folder;
    top_ = top;
    clear();
    const QIcon openedIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const auto add = [&](const QIcon& icon, const QString& text, const QString& path, int level) {
        auto* item = new QListWidgetItem(icon, readableName(text), this);
        item->setData(PathRole, path);
        item->setData(LevelRole, level);
        item->setToolTip(readableName(path));
    };

    // The top, then each folder on the way down.
    add(openedIcon, top, top, 0);
    const QStringList parts = folder.mid(top.size()).split(u'/', Qt::SkipEmptyParts);
    QString path = top.endsWith(u'/') ? top.chopped(1) : top;
    for (int level = 0; level < parts.size(); ++level) {
        path += u'/' + parts[level];
        add(openedIcon, parts[level], path, level + 1);
    }
    opened_ = static_cast<int>(parts.size()) + 1;
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    for (const QString& name : subfolders)
        add(closedIcon, name, prefix + name, opened_);
    setCurrentRow(opened_ - 1);
}

int DirListBox::ListCount() const {
    return count() - opened_;
}

QString DirListBox::List(int index) const {
    if (index < -opened_ || index >= ListCount())
        platform::raise(ErrSubscriptOutOfRange);
    return item(index + opened_)->data(PathRole).toString();
}

int DirListBox::ListIndex() const {
    return currentRow() - opened_;
}

void DirListBox::setListIndex(int index) {
    if (index < -opened_ || index >= ListCount())
        platform::raise(ErrInvalidPropertyValue);
    setCurrentRow(index + opened_);
}

void DirListBox::open(const QListWidgetItem* item) {
    if (!item)
        return;
    // A folder that vanished since it was listed cannot be opened: the list is read again.
    const QString path = item->data(PathRole).toString();
    ResumeNext err;
    if (!err.step([&] { setPath(path); }))
        Refresh();
}

void DirListBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        open(currentItem());
        return;
    }
    QListWidget::keyPressEvent(event);
}

} // namespace platform
