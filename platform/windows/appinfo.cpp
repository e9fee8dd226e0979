#include "platform/windows/appinfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform {

QString programFolder() {
    return QCoreApplication::applicationDirPath();
}

void ProgramPlaces::makeSettingsFolder() const {
    if (!installed)
        return;
    // From the top down; a folder that exists already refuses quietly. The XDG rules ask for
    // 0700 on configuration folders they make.
    const QString path = QDir::cleanPath(settingsFolder);
    for (qsizetype end = path.indexOf(u'/', 1);; end = path.indexOf(u'/', end + 1)) {
        QDir().mkdir(end < 0 ? path : path.left(end),
                     QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (end < 0)
            break;
    }
}

ProgramPlaces portablePlaces(const QString& programFolder) {
    return {programFolder, programFolder, false};
}

ProgramPlaces programPlaces(const QString& programFolder) {
    const QDir folder(programFolder);
    if (folder.dirName() != QStringLiteral("bin") ||
        !QFileInfo(folder.filePath(QStringLiteral("../share/kalmora"))).isDir())
        return portablePlaces(programFolder);
    // A relative XDG_CONFIG_HOME is invalid by the XDG rules and stands for the default.
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (QDir::isRelativePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    // The pictures location is named even where the folder does not exist.
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return {config + QStringLiteral("/Kalmora"),
            QFileInfo(pictures).isDir() ? pictures : QDir::homePath(), true};
}

} // namespace platform
