// frmMain: the source-folder entry, the check of a typed folder and files dropped on Pfad.
#include "mainwindow/frmmain.h"
#include "platform/controls/controls.h"
#include "platform/controls/filelistbox.h"
#include "platform/controls/textbox.h"
#include "platform/errors/resumenext.h"
#include "platform/files/openforreading.h"
#include "platform/windows/clickgate.h"
#include "platform/windows/messagebox.h"

#include <QApplication>
#include <QPushButton>

namespace {

const QString kErrorTitle = QStringLiteral("Fehler");
const QString kNotAFile = QStringLiteral("Bitte geben Sie ein Verzeichnis und keine Datei an!");
const QString kNoSuchPath = QStringLiteral("Der angegebene Pfad existiert nicht!");

} // namespace

void frmMain::connectFolderEntry() {
    Pfad->setFileDrops(true);
    // A click on "&Umwandeln" or "..." that took the focus from a refused entry goes no further:
    // the user sees the corrected folder first.
    auto* gate = new platform::ClickGate(this);
    gate->guard(*cmd_Save);
    gate->guard(*PfadDialog);
    connect(Pfad, &platform::TextBox::LostFocus, this, [this, gate] {
        // Taken before the check: while a message box is open the focus is elsewhere.
        QWidget* const target = QApplication::focusWidget();
        if (Pfad_LostFocus())
            gate->dropPendingClick(target);
    });
    connect(Pfad, &platform::TextBox::FilesDropped, this, &frmMain::Pfad_Drop);
}

bool frmMain::Pfad_LostFocus() {
    // An emptied box names no folder: it gets back the folder the list holds.
    if (Pfad->text().isEmpty()) {
        platform::setText(*Pfad, Dateiliste->Path());
        return false;
    }

    using namespace platform;
    ResumeNext err;
    bool refused = false;
    // A path that opens as a file is a file, not a folder.
    if (err.step([&] { OpenForReading(Pfad->text()); })) {
        MsgBox(kNotAFile, vbCritical, kErrorTitle);
        setText(*Pfad, forms_.places().defaultFolder);
        refused = true;
    }
    err.clear();
    err.step([&] { Dateiliste->setPath(Pfad->text()); });
    if (err.number() == ErrPathNotFound) {
        MsgBox(kNoSuchPath, vbCritical, kErrorTitle);
        setText(*Pfad, forms_.places().defaultFolder);
        err.step([&] { Dateiliste->setPath(Pfad->text()); });
        refused = true;
    }
    // Any other failure (a folder that cannot be read) keeps the entry and the list's folder.
    return refused;
}

// The first file or folder becomes the entry; it is checked when the box loses the focus.
void frmMain::Pfad_Drop(const QStringList& files) {
    if (!files.isEmpty())
        platform::setText(*Pfad, files.front());
}
