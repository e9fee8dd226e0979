#include "dialogs/dateien.h"

#include "mainwindow/frmmain.h"
#include "platform/controls/controls.h"
#include "platform/controls/filelistbox.h"
#include "settings/settings.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

using platform::checkBoxValue;
using platform::place;

namespace {

QCheckBox* checkBox(QWidget& parent, const QString& text) {
    auto* box = new QCheckBox(text, &parent);
    // A greyed box arrives only from the settings file; once the user clicks it, it is a plain
    // two-state box again.
    QObject::connect(box, &QCheckBox::clicked, box, [box] { box->setTristate(false); });
    return box;
}

} // namespace

Dateien::Dateien(platform::Forms& forms) : forms_(forms) {
    setWindowTitle(QStringLiteral("Erlaubte Dateien"));
    // A fixed tool window: small title bar with a close box only, no entry in the task bar.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    platform::setClientSize(*this, 3345, 2595);

    // In creation order. Neither button is a default or cancel button: Enter and Esc do nothing.
    cmdAbbrechen = new QPushButton(QStringLiteral("&Abbrechen"), this);
    place(*cmdAbbrechen, 1770, 2040, 1185, 330);
    cmdOK = new QPushButton(QStringLiteral("&Ok"), this);
    place(*cmdOK, 390, 2040, 1185, 330);
    chkALL = checkBox(*this, QStringLiteral("Alle Dateien (*.*)"));
    place(*chkALL, 210, 1560, 3015, 330);
    chkBMP = checkBox(*this, QStringLiteral("Bitmaps (*.bmp, *.dib)"));
    place(*chkBMP, 210, 1200, 3015, 330);
    chkGIF = checkBox(*this, QStringLiteral("GIF-Bilder (*.gif)"));
    place(*chkGIF, 210, 843, 3015, 330);
    chkJPG = checkBox(*this, QStringLiteral("JPEG-Bilder (*.jpg)"));
    place(*chkJPG, 210, 480, 3015, 330);
    Label1 = new QLabel(QStringLiteral("Erlaubte Dateitypen:"), this);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(*Label1, 210, 105, 3015, 330);

    // By tab index; the label takes no focus.
    QWidget::setTabOrder(chkJPG, chkGIF);
    QWidget::setTabOrder(chkGIF, chkBMP);
    QWidget::setTabOrder(chkBMP, chkALL);
    QWidget::setTabOrder(chkALL, cmdOK);
    QWidget::setTabOrder(cmdOK, cmdAbbrechen);
    chkJPG->setFocus();

    connect(cmdOK, &QPushButton::clicked, this, &Dateien::cmdOK_Click);
    connect(cmdAbbrechen, &QPushButton::clicked, this, &Dateien::cmdAbbrechen_Click);
}

Dateien::~Dateien() = default;

void Dateien::Form_Load() {
    // Plain case-sensitive substring tests, each independent of the others.
    const QString pattern = forms_.get<frmMain>().Dateiliste->Pattern();
    const auto derive = [&](QCheckBox& box, QLatin1String fragment) {
        platform::setCheckBoxValue(box, pattern.contains(fragment) ? platform::vbChecked
                                                                   : platform::vbUnchecked);
    };
    derive(*chkJPG, QLatin1String("*.jpg"));
    derive(*chkGIF, QLatin1String("*.gif"));
    derive(*chkBMP, QLatin1String("*.bmp;*.dib"));
    derive(*chkALL, QLatin1String("*.*"));
}

void Dateien::cmdOK_Click() {
    const QString pattern =
        settings::PatternFromFlags(checkBoxValue(*chkJPG), checkBoxValue(*chkGIF),
                                   checkBoxValue(*chkBMP), checkBoxValue(*chkALL));
    platform::FileListBox& list = *forms_.get<frmMain>().Dateiliste;
    list.setPattern(pattern);
    list.Refresh();
    forms_.unload(*this);
}

void Dateien::cmdAbbrechen_Click() {
    forms_.unload(*this);
}

void Dateien::closeEvent(QCloseEvent* event) {
    forms_.unload(*this);
    event->accept();
}
