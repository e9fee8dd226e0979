#include "mainwindow/frmmain.h"

#include "mainwindow/programicon.h"
#include "platform/controls/controls.h"
#include "platform/controls/filelistbox.h"
#include "platform/controls/hscrollbar.h"
#include "platform/controls/picturebox.h"
#include "platform/windows/appinfo.h"

#include <QButtonGroup>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

using platform::place;

namespace {

// Labels draw their text from the top, as the layout below expects.
QLabel* label(QWidget& parent, const QString& text) {
    auto* control = new QLabel(text, &parent);
    control->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return control;
}

} // namespace

frmMain::frmMain(platform::Forms& forms) : forms_(forms) {
    setWindowTitle(platform::AppTitle);
    setWindowIcon(programIcon());
    // Fixed single border with a minimise box and no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    auto* client = new QWidget(this);
    setCentralWidget(client);
    platform::setClientSize(*client, 3240, 2595);
    createControls(*client);
    createMenus();
    // The window takes the size of its menu bar and client area and keeps it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    arrangeTabOrder();
    connectHandlers();
    connectFolderEntry();
    Timer->start();
}

frmMain::~frmMain() = default;

void frmMain::createControls(QWidget& client) {
    Label4 = label(client, QStringLiteral("Qualität:"));
    place(*Label4, 240, 120, 2415, 255);

    Qualitaet = new platform::HScrollBar(&client);
    Qualitaet->setRange(1, 100);
    Qualitaet->setSingleStep(1);
    Qualitaet->setPageStep(10);
    Qualitaet->setValue(20);
    Qualitaet->setFocusPolicy(Qt::StrongFocus);
    Qualitaet->setValueSuffix(QStringLiteral(" %"));
    place(*Qualitaet, 240, 360, 2130, 255);
    platform::tieLabel(*Label4, *Qualitaet);

    Label3 = label(client, QStringLiteral("20%"));
    place(*Label3, 2415, 360, 510, 255);

    Label1 = label(client, QStringLiteral("Pfad:"));
    place(*Label1, 240, 735, 2535, 255);

    Pfad = new platform::TextBox(&client);
    place(*Pfad, 210, 945, 2535, 285);
    platform::tieLabel(*Label1, *Pfad);

    // The controls without a label of their own get a short name for assistive technology.
    PfadDialog = new QPushButton(QStringLiteral("..."), &client);
    PfadDialog->setAccessibleName(QStringLiteral("Ordner auswählen"));
    place(*PfadDialog, 2730, 945, 330, 285);

    // Shown readably like Pfad: a name saved with bytes that are not UTF-8 keeps them.
    Dateiname = new platform::TextBox(&client);
    Dateiname->keepText(QStringLiteral("Foto"));
    Dateiname->setAccessibleName(QStringLiteral("Dateiname"));
    Dateiname->setToolTip(QStringLiteral("Gibt das Format für die Dateinamen an"));
    place(*Dateiname, 480, 1365, 735, 285);

    Label2 = label(client, QStringLiteral("000."));
    place(*Label2, 1245, 1470, 375, 375);

    // One exclusive group: selecting one extension deselects the other.
    auto* extension = new QButtonGroup(this);
    ExtGr = new QRadioButton(QStringLiteral("JPG"), &client);
    place(*ExtGr, 1605, 1350, 840, 315);
    extension->addButton(ExtGr);
    ExtKl = new QRadioButton(QStringLiteral("jpg"), &client);
    place(*ExtKl, 1605, 1620, 855, 315);
    extension->addButton(ExtKl);
    ExtKl->setChecked(true);
    // Spoken, the two captions sound the same.
    ExtGr->setAccessibleDescription(QStringLiteral("Endung in Großbuchstaben"));
    ExtKl->setAccessibleDescription(QStringLiteral("Endung in Kleinbuchstaben"));

    cmd_Save = new QPushButton(QStringLiteral("&Umwandeln"), &client);
    cmd_Save->setToolTip(QStringLiteral("Speichert alle Dateien im angegebenen Ordner"));
    place(*cmd_Save, 840, 1995, 1335, 375);

    Dateiliste = new platform::FileListBox(this);
    Dateiliste->setPattern(QStringLiteral("*.jpg;*.bmp"));

    Quelle = new platform::PictureBox(&client);
    place(*Quelle, 2730, 1890, 330, 480);
    Quelle->hide();

    Timer = new QTimer(this);
    Timer->setInterval(100);
}

void frmMain::createMenus() {
    mnuDatei = menuBar()->addMenu(QStringLiteral("&Datei"));
    mnuBeenden = mnuDatei->addAction(QStringLiteral("&Beenden"));
    mnuOptionen = menuBar()->addMenu(QStringLiteral("&Optionen"));
    mnuDateien = mnuOptionen->addAction(QStringLiteral("&Erlaubte Dateitypen"));
    mnuHilfe = menuBar()->addMenu(QStringLiteral("&Hilfe"));
    mnuInfo = mnuHilfe->addAction(QStringLiteral("&Info"));
}

void frmMain::arrangeTabOrder() {
    // By tab index; labels take no focus and the hidden controls are left out.
    QWidget* const order[] = {Qualitaet, cmd_Save, ExtKl, ExtGr, Dateiname, Pfad, PfadDialog};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    // Tab index 0 holds the focus when the window opens.
    Qualitaet->setFocus();
}

void frmMain::connectHandlers() {
    connect(Qualitaet, &QScrollBar::valueChanged, this, &frmMain::Qualitaet_Change);
    connect(Qualitaet, &QScrollBar::sliderMoved, this, &frmMain::Qualitaet_Scroll);
    connect(PfadDialog, &QPushButton::clicked, this, &frmMain::PfadDialog_Click);
    connect(cmd_Save, &QPushButton::clicked, this, &frmMain::cmd_Save_Click);
    connect(Timer, &QTimer::timeout, this, &frmMain::Timer_Timer);
    connect(mnuBeenden, &QAction::triggered, this, &frmMain::mnuBeenden_Click);
    connect(mnuDateien, &QAction::triggered, this, &frmMain::mnuDateien_Click);
    connect(mnuInfo, &QAction::triggered, this, &frmMain::mnuInfo_Click);
}
