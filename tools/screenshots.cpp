// Renders every window of the program into PNG files, as it looks with the program's font on the
// platform it runs on (tools/screenshots runs it on a real X server): kalmora_screenshots <folder>.
// The windows work on a temporary program folder and a folder of generated pictures.
#include "conversion/fortschritt.h"
#include "dialogs/dateien.h"
#include "dialogs/frmabout.h"
#include "dialogs/pfadauswahl.h"
#include "mainwindow/frmmain.h"
#include "platform/controls/hscrollbar.h"
#include "platform/windows/forms.h"
#include "platform/windows/interfacefont.h"
#include "platform/windows/messagebox.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QWindow>
#include <cstdio>
#include <functional>
#include <optional>

namespace {

// Lets the window system show the window and the window draw itself.
void waitUntilShown(QWidget& window) {
    const QDeadlineTimer deadline(5000);
    while (!(window.windowHandle() && window.windowHandle()->isExposed()) && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    QApplication::processEvents();
}

bool save(QWidget& window, const QString& path) {
    waitUntilShown(window);
    const bool saved = window.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

// A photo-like picture: a sky, a sea and a beach.
void writePicture(const QString& path, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, width, height / 2, QColor(110, 170, 230));
    painter.fillRect(0, height / 2, width, height / 4, QColor(30, 90, 160));
    painter.fillRect(0, height * 3 / 4, width, height - height * 3 / 4, QColor(230, 210, 160));
    painter.end();
    image.save(path, "JPEG", 90);
}

// A folder of holiday photos, named as a person would name it: "Urlaub März" in the temporary
// folder, or a unique name when that one is taken. Removed with everything in it at the end.
class PictureFolder {
public:
    PictureFolder() {
        const QString plain = QDir::tempPath() + QStringLiteral("/Urlaub März");
        if (QDir().mkdir(plain)) {
            path_ = plain;
        } else {
            unique_.emplace(plain + QStringLiteral("-XXXXXX"));
            path_ = unique_->path();
        }
    }
    ~PictureFolder() {
        if (!unique_)
            QDir(path_).removeRecursively();
    }
    PictureFolder(const PictureFolder&) = delete;
    PictureFolder& operator=(const PictureFolder&) = delete;

    const QString& path() const { return path_; }

private:
    QString path_;
    std::optional<QTemporaryDir> unique_;
};

// Twelve photos and two subfolders.
void fillPictureFolder(const QString& pictures) {
    for (const char* sub : {"Bearbeitet", "Strand"})
        QDir(pictures).mkdir(QString::fromLatin1(sub));
    for (int i = 1; i <= 12; ++i)
        writePicture(pictures + QStringLiteral("/IMG_%1.jpg").arg(4710 + i), 1600, 1200);
}

// A program folder whose settings file names the folder of pictures.
QString makeProgramFolder(const QTemporaryDir& root, const QString& pictures) {
    const QString program = root.path();
    QFile ini(program + QStringLiteral("/Kalmora.ini"));
    if (ini.open(QIODevice::WriteOnly)) {
        QTextStream(&ini) << "[Files]\nJPEG=1\nGIF=0\nBMP=0\nALL=0\n"
                          << "[Other]\nQuality=85\nPath=" << pictures
                          << "\nFilename=Urlaub\nExtension=0\n";
    }
    return program;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder for the PNG files>\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    platform::useInterfaceFont();
    // No window may wait for an answer here.
    platform::setMessageBoxHandler([](const platform::MessageBoxRequest& request) {
        std::fprintf(stderr, "message box: %s\n", qPrintable(request.prompt));
        return static_cast<int>(platform::vbOK);
    });

    const QTemporaryDir program;
    const PictureFolder pictures;
    fillPictureFolder(pictures.path());
    platform::Forms forms(makeProgramFolder(program, pictures.path()));
    forms.setLastWindowUnloaded([] {});

    bool saved = true;
    frmMain& main = forms.show<frmMain>();
    saved &= save(main, out + QStringLiteral("/frmmain.png"));

    saved &= save(forms.show<Dateien>(), out + QStringLiteral("/dateien.png"));
    forms.unload<Dateien>();

    // Opened on the folder of pictures, its subfolders listed below it.
    saved &= save(forms.show<Pfadauswahl>(), out + QStringLiteral("/pfadauswahl.png"));
    forms.unload<Pfadauswahl>();

    saved &= save(forms.show<frmAbout>(), out + QStringLiteral("/frmabout.png"));
    forms.unload<frmAbout>();

    // The progress window mid-run: a real run of the folder, caught after its fifth file.
    bool caught = false;
    platform::setDoEventsObserver([&] {
        Fortschritt* progress = forms.find<Fortschritt>();
        if (caught || !progress || !progress->lblFortschritt->text().startsWith(u"5 von"))
            return;
        caught = true;
        saved &= save(*progress, out + QStringLiteral("/fortschritt.png"));
    });
    main.cmd_Save->click();
    platform::setDoEventsObserver({});
    if (!caught) {
        std::fprintf(stderr, "the run ended before its fifth file\n");
        saved = false;
    }

    forms.unload<frmMain>();
    QApplication::processEvents();
    return saved ? 0 : 1;
}
