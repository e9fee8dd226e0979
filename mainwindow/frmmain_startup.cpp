// frmMain: the start-up steps and the close step.
#include "conversion/fortschritt.h"
#include "dialogs/dateien.h"
#include "dialogs/frmabout.h"
#include "dialogs/pfadauswahl.h"
#include "mainwindow/frmmain.h"
#include "platform/controls/controls.h"
#include "platform/controls/filelistbox.h"
#include "platform/controls/hscrollbar.h"
#include "platform/controls/textbox.h"
#include "platform/errors/resumenext.h"
#include "platform/windows/numbertext.h"
#include "settings/settings.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QRadioButton>
#include <QTimer>

using platform::checkBoxValue;

namespace {

// The file-type flags of the settings file and the boxes of Dateien that keep them meanwhile.
struct FileTypeFlag {
    const QString& key;
    const char* fallback;
    QCheckBox* Dateien::*box;
};
const FileTypeFlag fileTypeFlags[] = {
    {settings::KeyJpeg, "0", &Dateien::chkJPG},
    {settings::KeyGif, "0", &Dateien::chkGIF},
    {settings::KeyBmp, "0", &Dateien::chkBMP},
    {settings::KeyAll, "1", &Dateien::chkALL},
};

} // namespace

void frmMain::Form_Load() {
    using namespace settings;
    // Every step that fails is skipped; a bad setting leaves the control as it was created.
    platform::ResumeNext err;
    const platform::ProgramPlaces& places = forms_.places();

    err.step([&] { IniDatei = IniFilePath(places.settingsFolder); });

    // The first touch loads Dateien hidden; its load step derives the boxes from the creation
    // pattern of Dateiliste, and each usable flag then overwrites its box.
    for (const FileTypeFlag& flag : fileTypeFlags) {
        err.step([&] {
            const QString text =
                ReadText(IniDatei, SectionFiles, flag.key, QString::fromLatin1(flag.fallback));
            QCheckBox& box = *(forms_.get<Dateien>().*flag.box);
            platform::setCheckBoxValue(box, platform::toInteger(text));
        });
    }

    // Outside 1..100 the scroll bar refuses the value and keeps 20.
    err.step([&] { platform::setScrollBarValue(*Qualitaet, ReadQuality(IniDatei)); });

    err.clear();
    err.step([&] {
        Dateiliste->setPath(ReadText(IniDatei, SectionOther, KeyPath, places.defaultFolder));
    });
    if (err.number() == platform::ErrPathNotFound)
        err.step([&] { Dateiliste->setPath(places.defaultFolder); });

    err.step([&] { platform::setText(*Pfad, Dateiliste->Path()); });

    err.step([&] {
        platform::setText(*Dateiname,
                          ReadText(IniDatei, SectionOther, KeyFilename, QStringLiteral("Foto")));
    });

    err.step([&] {
        const QString text = ReadText(IniDatei, SectionOther, KeyExtension, QStringLiteral("0"));
        if (platform::toInteger(text) == 1)
            ExtGr->setChecked(true);
    });

    err.step([&] {
        const Dateien& dialog = forms_.get<Dateien>();
        Dateiliste->setPattern(
            PatternFromFlags(checkBoxValue(*dialog.chkJPG), checkBoxValue(*dialog.chkGIF),
                             checkBoxValue(*dialog.chkBMP), checkBoxValue(*dialog.chkALL)));
    });
    err.step([&] { Dateiliste->Refresh(); });
}

void frmMain::Form_Unload() {
    Timer->stop();
    closeStep();
}

void frmMain::closeEvent(QCloseEvent* event) {
    // While a conversion runs the window takes no input, its close box included: the close step
    // must not run between two files of the run.
    if (!isEnabled()) {
        event->ignore();
        return;
    }
    forms_.unload(*this);
    event->accept();
}

// Runs twice when started from the menu: unloading this window below runs it once more from the
// window's own unload; that pass writes the same values and finds the windows already going.
void frmMain::closeStep() {
    settings::Saved values;
    // Reading the flags loads Dateien when it was closed meanwhile; they then follow the pattern.
    const Dateien& dialog = forms_.get<Dateien>();
    values.jpeg = checkBoxValue(*dialog.chkJPG);
    values.gif = checkBoxValue(*dialog.chkGIF);
    values.bmp = checkBoxValue(*dialog.chkBMP);
    values.all = checkBoxValue(*dialog.chkALL);
    values.quality = Qualitaet->value();
    values.path = Pfad->Text();
    values.filename = Dateiname->Text();
    if (ExtKl->isChecked())
        values.extension = 0;
    else if (ExtGr->isChecked())
        values.extension = 1;
    forms_.places().makeSettingsFolder();
    settings::Write(IniDatei, values);

    // In the order: this window, Dateien, Fortschritt, frmAbout, this window, Pfadauswahl.
    forms_.unload<frmMain>();
    forms_.unload<Dateien>();
    forms_.unload<Fortschritt>();
    forms_.unload<frmAbout>();
    forms_.unload<frmMain>();
    forms_.unload<Pfadauswahl>();
}
