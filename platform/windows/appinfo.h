#pragma once

#include <QString>

namespace platform {

// The application's title, as message boxes and the About box show it.
inline const QString AppTitle = QStringLiteral("Kalmora");

// The program's version, defined once by the build.
struct Version {
    int major;
    int minor;
    int revision;
};
constexpr Version AppVersion{KALMORA_VERSION_MAJOR, KALMORA_VERSION_MINOR,
                             KALMORA_VERSION_REVISION};

// The folder that holds the program's executable.
QString programFolder();

} // namespace platform
