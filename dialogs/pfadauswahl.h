#pragma once

#include "platform/windows/forms.h"

#include <QWidget>

class QCloseEvent;
class QPushButton;

namespace platform {
class DirListBox;
class DriveListBox;
} // namespace platform

// The folder chooser: a drive list and a directory list that start on the main window's folder.
// OK hands the opened folder to the main window; every way of closing unloads the dialog.
class Pfadauswahl : public QWidget, public platform::Form {
    Q_OBJECT
public:
    explicit Pfadauswahl(platform::Forms& forms);
    ~Pfadauswahl() override;

    QWidget& widget() override { return *this; }
    // Opens the drive and folder of frmMain's Pfad.
    void Form_Load() override;

    QPushButton* cmdOK = nullptr;
    QPushButton* cmdAbbrechen = nullptr;
    platform::DirListBox* Verzeichnis = nullptr;
    platform::DriveListBox* Laufwerk = nullptr;

    // Opens the chosen drive's current folder; a drive that cannot be opened is put back.
    void Laufwerk_Change();
    // Puts the drive list on the opened folder's drive (another drive's mount point opened from
    // the tree above it), so that the two lists never disagree.
    void Verzeichnis_Change();
    // Sets Pfad and Dateiliste of the main window to the opened folder and unloads the dialog.
    void cmdOK_Click();
    // Unloads the dialog and changes nothing else.
    void cmdAbbrechen_Click();

protected:
    // The close box unloads the dialog like cmdAbbrechen.
    void closeEvent(QCloseEvent* event) override;

private:
    platform::Forms& forms_;
    bool following_ = false; // the drive list is following the directory list
};
