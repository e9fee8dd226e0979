#pragma once

#include "platform/windows/forms.h"

#include <QWidget>

class QCheckBox;
class QCloseEvent;
class QLabel;
class QPushButton;

// The dialog of allowed file types. Its four boxes also keep the file-type flags of the settings
// file from start-up to exit, for as long as the dialog stays loaded.
class Dateien : public QWidget, public platform::Form {
    Q_OBJECT
public:
    explicit Dateien(platform::Forms& forms);
    ~Dateien() override;

    QWidget& widget() override { return *this; }
    // Derives the four boxes from the current pattern of frmMain's Dateiliste.
    void Form_Load() override;

    QPushButton* cmdAbbrechen = nullptr;
    QPushButton* cmdOK = nullptr;
    QCheckBox* chkALL = nullptr;
    QCheckBox* chkBMP = nullptr;
    QCheckBox* chkGIF = nullptr;
    QCheckBox* chkJPG = nullptr;
    QLabel* Label1 = nullptr;

    // Sets the pattern built from the boxes on Dateiliste, refreshes it and unloads the dialog.
    void cmdOK_Click();
    // Unloads the dialog and changes nothing else.
    void cmdAbbrechen_Click();

protected:
    // The close box unloads the dialog like cmdAbbrechen.
    void closeEvent(QCloseEvent* event) override;

private:
    platform::Forms& forms_;
};
