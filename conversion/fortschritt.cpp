#include "conversion/fortschritt.h"

#include "mainwindow/frmmain.h"
#include "platform/controls/controls.h"
#include "platform/controls/progressbar.h"
#include "platform/windows/clickgate.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

using platform::place;

Fortschritt::Fortschritt(platform::Forms& forms) : forms_(forms) {
    setWindowTitle(QStringLiteral("Fortschritt"));
    // A fixed tool window: a small title bar with the close box only; tool windows stay out of
    // the task bar. No icon of its own: the program sets none for all windows.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    platform::setClientSize(*this, 2985, 1395);

    lblFortschritt = new QLabel(this);
    lblFortschritt->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    // As wide as the bar below it, so that counts of millions of files still fit.
    place(*lblFortschritt, 135, 150, 2655, 255);

    prgBFortschritt = new platform::ProgressBar(this);
    place(*prgBFortschritt, 135, 450, 2655, 375);

    // A plain button: neither default nor cancel button, so neither Enter nor Esc reach it.
    Abbrechen = new QPushButton(QStringLiteral("&Abbrechen"), this);
    Abbrechen->setToolTip(QStringLiteral("Bricht den Vorgang ab"));
    Abbrechen->setAutoDefault(false);
    place(*Abbrechen, 840, 945, 1215, 345);

    // Its access key clicks at once: the run pumps messages only between two files, and Qt's
    // pressed-down tenth of a second would let more files be written after the user cancelled.
    auto* const gate = new platform::ClickGate(this);
    gate->guard(*Abbrechen);
    connect(Abbrechen, &QPushButton::clicked, this, &Fortschritt::Abbrechen_Click);
}

void Fortschritt::Form_Load() {
    frmMain& main = forms_.get<frmMain>();
    // Disabling the window takes the focus from its controls; the user expects it back after.
    focusBefore_ = main.focusWidget();
    main.setEnabled(false);
}

void Fortschritt::Form_Unload() {
    prgBFortschritt->setValue(prgBFortschritt->Min());
    // The main window may be on its way out (the program's close step unloads this window too):
    // it is enabled when it is still there, never loaded anew for that.
    auto* const main = forms_.find<frmMain>();
    if (!main)
        return;
    main->setEnabled(true);
    // The main window takes over only from this window: a user who went to another program
    // during the run stays there, and finds the focus back in place when returning.
    if (isActiveWindow())
        main->activateWindow();
    if (focusBefore_ && focusBefore_->window() == main)
        focusBefore_->setFocus(Qt::ActiveWindowFocusReason);
}

void Fortschritt::Abbrechen_Click() {
    forms_.get<frmMain>().Abbr = true;
    forms_.unload(*this);
}

void Fortschritt::closeEvent(QCloseEvent* event) {
    Abbrechen_Click();
    event->accept();
}
