#include "platform/windows/settingslocation.h"

#include "platform/files/filenames.h"

#include <QStandardPaths>
#include <sys/stat.h>

namespace platform {

namespace {

// Paths here go through the program's own name mapping, so that a program unpacked into, or a
// home in, a folder whose name is not UTF-8 still finds its settings.
bool isFolder(const QString& path) {
    struct stat status {};
    return ::stat(encodeName(path).constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

QString environmentPath(const char* name) {
    return decodeName(qgetenv(name));
}

QString homeFolder() {
    const QString home = environmentPath("HOME");
    return home.startsWith(u'/') ? home : QStringLiteral("/");
}

} // namespace

void ProgramPlaces::makeSettingsFolder() const {
    if (!installed)
        return;
    // From the top down; a folder that exists already refuses quietly. The XDG rules ask for
    // 0700 on configuration folders they make.
    const QByteArray path = encodeName(settingsFolder);
    for (qsizetype end = path.indexOf('/', 1);; end = path.indexOf('/', end + 1)) {
        ::mkdir((end < 0 ? path : path.left(end)).constData(), S_IRWXU);
        if (end < 0)
            break;
    }
}

ProgramPlaces portablePlaces(const QString& programFolder) {
    return {programFolder, programFolder, false};
}

ProgramPlaces programPlaces(const QString& programFolder) {
    const qsizetype slash = programFolder.lastIndexOf(u'/');
    if (programFolder.mid(slash + 1) != QStringLiteral("bin") ||
        !isFolder(programFolder + QStringLiteral("/../share/kalmora")))
        return portablePlaces(programFolder);
    // A relative XDG_CONFIG_HOME is invalid by the XDG rules and stands for the default.
    QString config = environmentPath("XDG_CONFIG_HOME");
    if (!config.startsWith(u'/'))
        config = homeFolder() + QStringLiteral("/.config");
    // The pictures location is named even where the folder does not exist.
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return {config + QStringLiteral("/Kalmora"), isFolder(pictures) ? pictures : homeFolder(),
            true};
}

} // namespace platform
