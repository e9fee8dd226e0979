#pragma once

#include "platform/registry/registry.h"
#include "platform/windows/forms.h"

#include <QDialog>
#include <QString>
#include <array>

class QLabel;
class QPushButton;
namespace platform {
class Line;
}

// The About box: the program's title and version, a description, credits, contact and a
// disclaimer, and a button that starts the system-information program. Opened modally; every way
// of closing it unloads it.
class frmAbout : public QDialog, public platform::Form {
public:
    explicit frmAbout(platform::Forms& forms);

    QWidget& widget() override { return *this; }
    void Form_Load() override;

    // Starts the system-information program named by the registry; shows a message and leaves the
    // dialog open when there is none or it cannot be started.
    void StartSysInfo();

    // Reads the value SubKeyRef of the key KeyName below KeyRoot into KeyVal: a string as it is,
    // a number as "&h" and its hex digits, a value of another type leaves KeyVal as it is.
    // False, with KeyVal emptied, when the key or the value cannot be read. A value of no bytes
    // throws RuntimeError. The key is closed again on every path.
    bool GetKeyValue(platform::HKEY KeyRoot, const QString& KeyName, const QString& SubKeyRef,
                     QString& KeyVal);

    // The controls, in the order they are created.
    QLabel* picIcon = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label2 = nullptr;
    std::array<platform::Line*, 2> Line1{};
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDisclaimer = nullptr;

    // Enter (OK is the default button), Esc (OK is also the cancel button) and the close box.
    void accept() override;
    void reject() override;

private:
    void cmdOK_Click();
    void cmdSysInfo_Click();

    platform::Forms& forms_;
};
