// frmMain: the handlers of its controls, menus and timer.
#include "conversion/batchrun.h"
#include "dialogs/dateien.h"
#include "dialogs/frmabout.h"
#include "dialogs/pfadauswahl.h"
#include "mainwindow/frmmain.h"
#include "platform/controls/filelistbox.h"
#include "platform/controls/hscrollbar.h"
#include "platform/errors/resumenext.h"

#include <QLabel>

void frmMain::showQuality(int value) {
    Label3->setText(u' ' + QString::number(value) + u'%');
}

void frmMain::Qualitaet_Change() {
    showQuality(Qualitaet->value());
}

// While the thumb is dragged the value is where the thumb is.
void frmMain::Qualitaet_Scroll() {
    showQuality(Qualitaet->sliderPosition());
}

void frmMain::PfadDialog_Click() {
    forms_.showModal<Pfadauswahl>();
}

void frmMain::cmd_Save_Click() {
    conversion::BatchRun(forms_);
}

void frmMain::Timer_Timer() {
    // A tick must never end the program, whatever the refresh runs into.
    platform::ResumeNext err;
    err.step([&] { Dateiliste->Refresh(); });
}

void frmMain::mnuBeenden_Click() {
    closeStep();
}

void frmMain::mnuDateien_Click() {
    forms_.showModal<Dateien>();
}

void frmMain::mnuInfo_Click() {
    forms_.showModal<frmAbout>();
}
