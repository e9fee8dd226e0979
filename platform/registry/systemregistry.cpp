#include "platform/registry/systemregistry.h"

#include "platform/registry/registry.h"

#include <QStandardPaths>

namespace platform {

const QStringList& systemInformationPrograms() {
    static const QStringList programs{
        QStringLiteral("hardinfo2"),
        QStringLiteral("hardinfo"),
        QStringLiteral("kinfocenter"),
        QStringLiteral("lshw-gtk"),
        QStringLiteral("gnome-system-monitor"),
        QStringLiteral("mate-system-monitor"),
        QStringLiteral("xfce4-taskmanager"),
        QStringLiteral("lxtask"),
    };
    return programs;
}

QString findSystemInformationProgram(const QStringList& folders) {
    for (const QString& name : systemInformationPrograms()) {
        const QString path = QStandardPaths::findExecutable(name, folders);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

void addSystemEntries() {
    const QString program = findSystemInformationProgram();
    if (program.isEmpty())
        return;
    QByteArray path = program.toLocal8Bit();
    path.append('\0'); // stored with its terminating zero, as the system stores strings
    registry::setValue(HKEY_LOCAL_MACHINE,
                       QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                       QStringLiteral("PATH"), REG_SZ, path);
}

} // namespace platform
