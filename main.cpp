#include "mainwindow/frmmain.h"
#include "platform/appinfo.h"
#include "platform/forms.h"
#include "platform/interfacefont.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    platform::useInterfaceFont();
    platform::Forms forms(platform::programFolder());
    forms.show<frmMain>();
    return app.exec();
}
