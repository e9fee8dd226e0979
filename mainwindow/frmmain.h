#pragma once

#include "platform/controls/textbox.h" // Pfad, Dateiname: users of the window reach their text
#include "platform/windows/forms.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

class QAction;
class QCloseEvent;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QTimer;

namespace platform {
class FileListBox;
class HScrollBar;
class PictureBox;
} // namespace platform

// The main window: the user's choices for a conversion, the hidden file list of the source folder,
// the menus, and the start-up and close steps of the program.
class frmMain : public QMainWindow, public platform::Form {
    Q_OBJECT
public:
    explicit frmMain(platform::Forms& forms);
    ~frmMain() override;

    QWidget& widget() override { return *this; }
    // The start-up steps: applies the settings file to the controls and fills Dateiliste.
    void Form_Load() override;
    // The close step, run when the window is unloaded: writes the settings, unloads every window.
    void Form_Unload() override;

    // Controls, owned by the window.
    QLabel* Label4 = nullptr;
    platform::HScrollBar* Qualitaet = nullptr; // JPEG quality 1..100
    QLabel* Label3 = nullptr;                  // quality read-out
    QLabel* Label1 = nullptr;
    platform::TextBox* Pfad = nullptr; // source folder as entered
    QPushButton* PfadDialog = nullptr;
    platform::TextBox* Dateiname = nullptr; // base name of the output files
    QLabel* Label2 = nullptr;
    QRadioButton* ExtGr = nullptr; // ".JPG"
    QRadioButton* ExtKl = nullptr; // ".jpg"
    QPushButton* cmd_Save = nullptr;
    platform::FileListBox* Dateiliste = nullptr; // hidden: the matching files of the folder
    platform::PictureBox* Quelle = nullptr;      // hidden: the picture being converted
    QTimer* Timer = nullptr;                     // refreshes Dateiliste every 100 ms

    // Menus and their items.
    QMenu* mnuDatei = nullptr;
    QAction* mnuBeenden = nullptr;
    QMenu* mnuOptionen = nullptr;
    QAction* mnuDateien = nullptr;
    QMenu* mnuHilfe = nullptr;
    QAction* mnuInfo = nullptr;

    // The batch run's abort flag, set by the progress window's cancel button.
    bool Abbr = false;
    // The full path of the settings file, set by the first start-up step.
    QString IniDatei;

    // Handlers of the controls' events.
    void Qualitaet_Change();
    void Qualitaet_Scroll();
    // The check of a typed folder; true when it refused the entry with a message.
    bool Pfad_LostFocus();
    void Pfad_Drop(const QStringList& files);
    void PfadDialog_Click();
    void cmd_Save_Click();
    void Timer_Timer();
    void mnuBeenden_Click();
    void mnuDateien_Click();
    void mnuInfo_Click();

protected:
    // The close box and the system menu unload the window, which runs the close step; while the
    // window is disabled (a conversion runs) they are refused.
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls(QWidget& client);
    void createMenus();
    void arrangeTabOrder();
    void connectHandlers();
    void connectFolderEntry();
    void closeStep();
    void showQuality(int value);

    platform::Forms& forms_;
};
