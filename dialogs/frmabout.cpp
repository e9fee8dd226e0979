#include "dialogs/frmabout.h"

#include "platform/controls/controls.h"
#include "platform/controls/line.h"
#include "platform/errors/runtimeerror.h"
#include "platform/files/fileexists.h"
#include "platform/windows/appinfo.h"
#include "platform/windows/messagebox.h"
#include "platform/windows/processstart.h"

#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <cstdint>
#include <exception>

// Outside any namespace, as the resource initialiser demands; the resources sit in a static
// library, so nothing would pull them in otherwise.
static void initKalmoraResources() {
    Q_INIT_RESOURCE(kalmora);
}

using namespace platform;

namespace {

// Where the system names its system-information program: the program file itself, or else the
// folder that holds it.
const QString kSysInfoKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString kSysInfoValue = QStringLiteral("PATH");
const QString kSysInfoFolderKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString kSysInfoFolderValue = QStringLiteral("MSINFO");
const QString kSysInfoFile = QStringLiteral("MSINFO32.EXE");

const QString kNoSysInfo = QStringLiteral("Systeminformationen sind momentan nicht verfügbar");

QLabel* makeLabel(QWidget& parent, const char* name, const QString& text, int left, int top,
                  int width, int height) {
    auto* label = new QLabel(text, &parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    place(*label, left, top, width, height);
    return label;
}

QPushButton* makeButton(QWidget& parent, const char* name, const QString& caption, int left,
                        int top, int width, int height) {
    auto* button = new QPushButton(caption, &parent);
    button->setObjectName(QString::fromLatin1(name));
    place(*button, left, top, width, height);
    return button;
}

Line* makeLine(QWidget& parent, int index, const QColor& color, int width, int x1, int y1, int x2,
               int y2) {
    auto* line = new Line(&parent);
    line->setObjectName(QStringLiteral("Line1"));
    line->setProperty("Index", index);
    line->setBorderColor(color);
    line->setBorderWidth(width);
    line->setEnds(x1, y1, x2, y2);
    return line;
}

// A number value's bytes (least significant first) as "&h" and hex digits, most significant
// first, without leading zeros.
QString hexOf(const QByteArray& bytes) {
    std::uint32_t number = 0;
    for (qsizetype i = std::min<qsizetype>(bytes.size(), 4) - 1; i >= 0; --i)
        number = (number << 8) | static_cast<std::uint8_t>(bytes[i]);
    return QStringLiteral("&h") + QString::number(number, 16).toUpper();
}

} // namespace

frmAbout::frmAbout(Forms& forms) : QDialog(nullptr), forms_(forms) {
    initKalmoraResources();
    setObjectName(QStringLiteral("frmAbout"));
    // A fixed dialog: title bar with the close box only. Without an owner it is still a dialog,
    // and the desktop keeps dialogs out of the task bar.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setClientSize(*this, 5835, 4950);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QPoint screenOrigin = screen ? screen->geometry().topLeft() : QPoint();
    setGeometry(QRect(screenOrigin + QPoint(twipsToPixels(2340), twipsToPixels(1935)), size()));

    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setFrameStyle(QFrame::WinPanel | QFrame::Sunken); // 2 pixels round the 48 x 48
    picIcon->setAlignment(Qt::AlignCenter);
    picIcon->setPixmap(QPixmap(QStringLiteral(":/about-48.png")));
    place(*picIcon, 105, 210, 780, 780);

    cmdOK = makeButton(*this, "cmdOK", QStringLiteral("OK"), 4350, 3870, 1260, 345);
    cmdOK->setDefault(true);
    cmdSysInfo =
        makeButton(*this, "cmdSysInfo", QStringLiteral("&Systeminfo..."), 4350, 4440, 1245, 345);

    lblDescription = makeLabel(
        *this, "lblDescription",
        QStringLiteral(
            "Programm, um Bilder beliebigem Dateityps mit einem wählbaren Komprimierungsfaktor "
            "ins JPEG-Format zu konvertieren. Dabei konvertiert es alle Bilder in einem "
            "Verzeichnis automatisch und ändert die Dateien gleichzeitig nach einem beliebigem "
            "Format mit einer fortlaufenden Nummer um (zum Beispiel für Websites usw.)."),
        1080, 1365, 4665, 1770);
    Label1 = makeLabel(*this, "Label1",
                       QStringLiteral("Dank an die Entwickler von libjpeg-turbo und Qt."), 1050,
                       945, 4620, 345);
    Label3 =
        makeLabel(*this, "Label3", QStringLiteral("kalmora@example.org"), 1050, 3360, 4620, 315);
    QPalette blue = Label3->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label3->setPalette(blue);
    Label2 = makeLabel(*this, "Label2",
                       QStringLiteral("Fragen, Anregungen und Fehlerberichte bitte an:"), 1050,
                       3120, 4620, 345);
    // The etched separator: a grey line with a white one just below it.
    Line1[1] = makeLine(*this, 1, QColor(128, 128, 128), 1, 195, 3690, 5759, 3690);
    lblTitle = makeLabel(*this, "lblTitle", QString(), 1080, 240, 4620, 255);
    QFont bold = lblTitle->font();
    bold.setBold(true);
    lblTitle->setFont(bold);
    Line1[0] = makeLine(*this, 0, QColor(255, 255, 255), 2, 210, 3705, 5759, 3705);
    lblVersion = makeLabel(*this, "lblVersion", QString(), 1050, 525, 4620, 390);
    lblDisclaimer = makeLabel(
        *this, "lblDisclaimer",
        QStringLiteral("Dieses Programm wird ohne jede Gewähr bereitgestellt. Sichern Sie Ihre "
                       "Bilder, bevor Sie ein Verzeichnis umwandeln."),
        360, 3870, 3870, 945);

    // Tab order: cmdOK, picIcon, cmdSysInfo, then the labels. Only the buttons take the focus;
    // the picture and the labels are never focused, so the chain is the buttons' order.
    picIcon->setFocusPolicy(Qt::NoFocus);
    setTabOrder(cmdOK, cmdSysInfo);

    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdSysInfo, &QPushButton::clicked, this, [this] { cmdSysInfo_Click(); });
}

void frmAbout::Form_Load() {
    setWindowTitle(QStringLiteral("Info zu ") + AppTitle);
    lblVersion->setText(QStringLiteral("Version %1.%2.%3")
                            .arg(AppVersion.major)
                            .arg(AppVersion.minor)
                            .arg(AppVersion.revision));
    lblTitle->setText(AppTitle);
}

void frmAbout::accept() {
    cmdOK_Click();
}

void frmAbout::reject() {
    cmdOK_Click();
}

void frmAbout::cmdOK_Click() {
    forms_.unload(*this);
}

void frmAbout::cmdSysInfo_Click() {
    StartSysInfo();
}

void frmAbout::StartSysInfo() {
    try {
        QString SysInfoPath;
        if (!GetKeyValue(HKEY_LOCAL_MACHINE, kSysInfoKey, kSysInfoValue, SysInfoPath)) {
            if (!GetKeyValue(HKEY_LOCAL_MACHINE, kSysInfoFolderKey, kSysInfoFolderValue,
                             SysInfoPath))
                throw RuntimeError(ErrFileNotFound);
            const QString program = SysInfoPath + QDir::separator() + kSysInfoFile;
            if (!FileExists(program))
                throw RuntimeError(ErrFileNotFound);
            SysInfoPath = program;
        }
        StartProcess(SysInfoPath);
        return;
    } catch (const std::exception&) {
        // Any failure on the way ends in the one message below.
    }
    MsgBox(kNoSysInfo, vbOKOnly, AppTitle);
}

bool frmAbout::GetKeyValue(HKEY KeyRoot, const QString& KeyName, const QString& SubKeyRef,
                           QString& KeyVal) {
    RegKey hKey;
    if (RegOpenKeyExA(KeyRoot, KeyName.toLocal8Bit().constData(), 0, KEY_ALL_ACCESS,
                      hKey.receive()) != ERROR_SUCCESS) {
        KeyVal.clear();
        return false;
    }

    std::array<std::uint8_t, 1024> buffer{};
    DWORD KeyValSize = static_cast<DWORD>(buffer.size());
    DWORD KeyValType = REG_NONE;
    if (RegQueryValueExA(hKey.get(), SubKeyRef.toLocal8Bit().constData(), nullptr, &KeyValType,
                         buffer.data(), &KeyValSize) != ERROR_SUCCESS) {
        KeyVal.clear();
        return false;
    }

    // The value's bytes without the terminating zero; a value of no bytes has no last byte.
    if (KeyValSize == 0)
        platform::raise(ErrInvalidProcedureCall);
    const QByteArray bytes(reinterpret_cast<const char*>(buffer.data()),
                           static_cast<qsizetype>(KeyValSize));

    switch (KeyValType) {
    case REG_SZ: {
        // A string ends at its first zero byte, as every consumer of the text will see it.
        const qsizetype end = bytes.indexOf('\0');
        KeyVal = QString::fromLocal8Bit(end < 0 ? bytes : bytes.left(end));
        break;
    }
    case REG_DWORD:
        KeyVal = hexOf(bytes);
        break;
    default:
        break; // other types leave what the caller passed in
    }
    return true;
}
