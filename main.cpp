#include "mainwindow/frmmain.h"
#include "platform/windows/appinfo.h"
#include "platform/windows/forms.h"
#include "platform/windows/interfacefont.h"
#include "platform/windows/settingslocation.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    platform::useInterfaceFont();
    // The desktop entry this program is started from (the window system matches its windows).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.Kalmora"));
    platform::Forms forms(platform::programPlaces(platform::programFolder()));
    forms.show<frmMain>();
    return app.exec();
}
