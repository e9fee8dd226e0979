#include "mainwindow/programicon.h"

#include <QString>

// The images are compiled into the static core library; without a reference to them the linker
// would leave their registration out of the executable. (The macro must be used outside any
// namespace.)
static void registerProgramIconResources() {
    Q_INIT_RESOURCE(kalmora);
}

QIcon programIcon() {
    static const bool registered = (registerProgramIconResources(), true);
    (void)registered;
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64})
        icon.addFile(QStringLiteral(":/icons/kalmora-%1.png").arg(size), QSize(size, size));
    return icon;
}
