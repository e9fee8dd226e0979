#include "dialogs/pfadauswahl.h"

#include "mainwindow/frmmain.h"
#include "platform/controls/controls.h"
#include "platform/controls/dirlistbox.h"
#include "platform/controls/drivelistbox.h"
#include "platform/controls/filelistbox.h"
#include "platform/controls/textbox.h"
#include "platform/errors/resumenext.h"
#include "platform/windows/systemcolours.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QScopedValueRollback>

using platform::place;

Pfadauswahl::Pfadauswahl(platform::Forms& forms) : forms_(forms) {
    setWindowTitle(QStringLiteral("Pfad"));
    // A fixed tool window: small title bar with a close box only, no icon, no entry in the task
    // bar.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    platform::setClientSize(*this, 3420, 3240);

    // In creation order. Neither button is a default or cancel button: Enter and Esc do nothing.
    cmdOK = new QPushButton(QStringLiteral("&Ok"), this);
    place(*cmdOK, 945, 2730, 1065, 330);
    cmdAbbrechen = new QPushButton(QStringLiteral("&Abbrechen"), this);
    place(*cmdAbbrechen, 2205, 2730, 1065, 330);
    Verzeichnis = new platform::DirListBox(this);
    QPalette palette = Verzeichnis->palette();
    palette.setColor(QPalette::Base, platform::menuColour());
    Verzeichnis->setPalette(palette);
    place(*Verzeichnis, 105, 420, 3165, 2115);
    Laufwerk = new platform::DriveListBox(this);
    place(*Laufwerk, 105, 105, 3165, 315);
    // Neither list has a label: assistive technology names them by what they hold.
    Laufwerk->setAccessibleName(QStringLiteral("Laufwerk"));
    Verzeichnis->setAccessibleName(QStringLiteral("Verzeichnis"));

    // By tab index.
    QWidget::setTabOrder(Laufwerk, Verzeichnis);
    QWidget::setTabOrder(Verzeichnis, cmdOK);
    QWidget::setTabOrder(cmdOK, cmdAbbrechen);
    Laufwerk->setFocus();

    connect(Laufwerk, &platform::DriveListBox::Change, this, &Pfadauswahl::Laufwerk_Change);
    connect(Verzeichnis, &platform::DirListBox::Change, this, &Pfadauswahl::Verzeichnis_Change);
    connect(cmdOK, &QPushButton::clicked, this, &Pfadauswahl::cmdOK_Click);
    connect(cmdAbbrechen, &QPushButton::clicked, this, &Pfadauswahl::cmdAbbrechen_Click);
}

Pfadauswahl::~Pfadauswahl() = default;

void Pfadauswahl::Form_Load() {
    // A path that names no drive, or a folder that is gone, leaves the lists where they opened
    // by default: the drive and folder the program works in.
    platform::ResumeNext err;
    const QString path = forms_.get<frmMain>().Pfad->Text();
    // Changing the drive opens its current folder first (Laufwerk_Change).
    err.step([&] { Laufwerk->setDrive(path); });
    err.step([&] { Verzeichnis->setPath(path); });
}

void Pfadauswahl::Laufwerk_Change() {
    if (following_)
        return;
    platform::ResumeNext err;
    err.step([&] { Verzeichnis->setPath(Laufwerk->Drive()); });
    // After a failure the directory list still shows the previous drive's folder, and this puts
    // the drive list back on that drive (which runs this step again for it). Nothing is shown.
    err.step([&] { Laufwerk->setDrive(Verzeichnis->Path()); });
}

void Pfadauswahl::Verzeichnis_Change() {
    // The drive list only follows: the folder just opened stays open.
    const QScopedValueRollback following(following_, true);
    platform::ResumeNext err;
    err.step([&] { Laufwerk->setDrive(Verzeichnis->Path()); });
}

void Pfadauswahl::cmdOK_Click() {
    frmMain& main = forms_.get<frmMain>();
    const QString folder = Verzeichnis->Path();
    // The opened folder may have vanished since it was read: then the main window keeps its
    // folder, so that Pfad and Dateiliste never name different folders.
    platform::ResumeNext err;
    if (err.step([&] { main.Dateiliste->setPath(folder); }))
        platform::setText(*main.Pfad, folder);
    forms_.unload(*this);
}

void Pfadauswahl::cmdAbbrechen_Click() {
    forms_.unload(*this);
}

void Pfadauswahl::closeEvent(QCloseEvent* event) {
    forms_.unload(*this);
    event->accept();
}
