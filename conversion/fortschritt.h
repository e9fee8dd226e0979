#pragma once

#include "platform/windows/forms.h"

#include <QPointer>
#include <QWidget>

class QCloseEvent;
class QLabel;
class QPushButton;

namespace platform {
class ProgressBar;
}

// The progress window of a conversion run: how many files are done out of how many, and a button
// that cancels the run. While it is loaded the main window takes no input.
class Fortschritt : public QWidget, public platform::Form {
    Q_OBJECT
public:
    explicit Fortschritt(platform::Forms& forms);

    QWidget& widget() override { return *this; }
    // Disables frmMain, remembering which of its controls had the focus.
    void Form_Load() override;
    // Resets the bar and enables frmMain again, whatever closed the window; the control that had
    // the focus before the run gets it back.
    void Form_Unload() override;

    // Controls, in tab order.
    QLabel* lblFortschritt = nullptr;
    platform::ProgressBar* prgBFortschritt = nullptr;
    QPushButton* Abbrechen = nullptr;

    // Sets frmMain's abort flag and closes the window.
    void Abbrechen_Click();

protected:
    // The close box cancels as Abbrechen does: a run whose window is gone has nothing left to
    // show the user or to be cancelled with.
    void closeEvent(QCloseEvent* event) override;

private:
    platform::Forms& forms_;
    QPointer<QWidget> focusBefore_;
};
