#include "mainwindow/frmmain.h"
#include "platform/windows/appinfo.h"
#include "platform/windows/forms.h"
#include "platform/windows/interfacefont.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    platform::useInterfaceFont();
    platform::Forms forms(platform::programFolder());
    forms.show<frmMain>();
    return app.exec();
}
