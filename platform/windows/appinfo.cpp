#include "platform/windows/appinfo.h"

#include <QCoreApplication>

namespace platform {

QString programFolder() {
    return QCoreApplication::applicationDirPath();
}

} // namespace platform
