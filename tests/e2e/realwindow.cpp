// The real program in a real X window, as a person uses it: the kalmora executable, copied into a
// program folder of its own beside a settings file that names a folder of generated pictures, is
// driven through the X server by the keyboard alone (xdotool). Afterwards the outputs are decoded
// again and the settings file that the program rewrote on quitting is read back.
//
// Runs under tests/e2e/underxvfb, which starts a fresh X server; KALMORA_EXECUTABLE names the
// program. Every wait is bounded, and the program is never left running.
#include "support/cornerpicture.h"
#include "support/decodedjpeg.h"
#include "support/programfolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Generous for a loaded machine, yet well inside the test's time limit.
constexpr auto kWindowTimeout = 60s;
constexpr auto kRunTimeout = 120s;
constexpr auto kQuitTimeout = 30s;

// A source picture of the folder and the output it should give (nothing for a file that is no
// picture: it keeps its number, and no file gets it).
struct Source {
    const char* name;
    int width;
    int height;
    const char* output;
};

// Listed in the order the program sorts them: by name, without regard to case.
const Source kSources[] = {
    {"anfang.bmp", 40, 30, "Foto000.jpg"},     {"Bucht.jpg", 64, 48, "Foto001.jpg"},
    {"dünen.png", 33, 17, "Foto002.jpg"},      {"notiz.txt", 0, 0, nullptr},
    {"Strand.bmp", 1600, 1200, "Foto004.jpg"}, {"zuletzt.jpg", 1201, 799, "Foto005.jpg"},
};

QString text(const char* latin) {
    return QString::fromUtf8(latin);
}

// Runs a helper program to its end (bounded); its standard output, or nothing when it failed.
std::optional<QString> run(const QString& program, const QStringList& arguments,
                           std::chrono::milliseconds timeout = 10s) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(static_cast<int>(timeout.count()))) {
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// Asks the condition again every 50 ms until it holds or the time is up.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() > end)
            return false;
        QThread::msleep(50);
    }
    return true;
}

QByteArray digest(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// A picture in four coloured quarters, saved in the format its name gives.
void writePicture(const QString& path, int width, int height) {
    QImage image(width, height, QImage::Format_BGR888);
    testsupport::paintCorners(image.bits(), width, height, static_cast<int>(image.bytesPerLine()),
                              false);
    ASSERT_TRUE(image.save(path, nullptr, 95)) << path.toStdString();
}

// The program, started from its folder on the X server of DISPLAY; ended on every way out.
class Program {
public:
    Program(const QString& executable, const QString& workingFolder, const QString& runtimeFolder) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder);
        process_.setProcessEnvironment(environment);
        // Started elsewhere than its folder: the program finds its settings by its own path.
        process_.setWorkingDirectory(workingFolder);
        process_.start(executable, {});
    }
    ~Program() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() { return process_.waitForStarted(static_cast<int>(kWindowTimeout / 1ms)); }
    QString pid() const { return QString::number(process_.processId()); }
    bool ended(std::chrono::milliseconds timeout) {
        return process_.waitForFinished(static_cast<int>(timeout.count()));
    }
    bool endedWell() const {
        return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
    }
    QString errors() { return QString::fromLocal8Bit(process_.readAllStandardError()); }

private:
    QProcess process_;
};

class RealWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            GTEST_SKIP() << "no X server; run through tests/e2e/underxvfb";
        xdotool_ = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
        xprop_ = QStandardPaths::findExecutable(QStringLiteral("xprop"));
        if (xdotool_.isEmpty() || xprop_.isEmpty())
            GTEST_SKIP() << "xdotool and xprop are needed (tools/install-deps installs them)";
        executable_ = qEnvironmentVariable("KALMORA_EXECUTABLE");
        ASSERT_TRUE(QFileInfo(executable_).isExecutable()) << "KALMORA_EXECUTABLE";
        ASSERT_TRUE(root_.isValid());
    }

    // The program's own folder: a copy of the executable (a link would lead the program back to
    // the build folder) and its settings file.
    QString makeProgramFolder(const QString& settings) {
        const QString folder = root_.filePath(QStringLiteral("Programm"));
        EXPECT_TRUE(QDir().mkpath(folder));
        EXPECT_TRUE(QFile::copy(executable_, folder + QStringLiteral("/kalmora")));
        QFile ini(folder + QStringLiteral("/Kalmora.ini"));
        EXPECT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(settings.toUtf8());
        return folder;
    }

    QStringList xdotool(const QStringList& arguments,
                        std::chrono::milliseconds timeout = kWindowTimeout) {
        const std::optional<QString> out = run(xdotool_, arguments, timeout);
        return out ? out->split(u'\n', Qt::SkipEmptyParts) : QStringList();
    }

    // The visible windows of the program whose title is exactly `title`.
    QStringList visibleWindows(Program& program, const QString& title) {
        return xdotool({QStringLiteral("search"), QStringLiteral("--all"),
                        QStringLiteral("--onlyvisible"), QStringLiteral("--pid"), program.pid(),
                        QStringLiteral("--name"), u'^' + title + u'$'});
    }

    void focus(const QString& window) {
        ASSERT_TRUE(run(xdotool_, {QStringLiteral("windowfocus"), QStringLiteral("--sync"), window},
                        kWindowTimeout))
            << "the window does not take the focus";
    }

    void keys(const QStringList& names) {
        ASSERT_TRUE(run(xdotool_, QStringList{QStringLiteral("key"), QStringLiteral("--delay"),
                                              QStringLiteral("100")} +
                                      names));
    }

    QString xprop(const QString& window, const QString& property) {
        return run(xprop_, {QStringLiteral("-id"), window, property}).value_or(QString());
    }

    QTemporaryDir root_;
    QString executable_;
    QString xdotool_;
    QString xprop_;
};

TEST_F(RealWindowTest, ConvertsAFolderByKeyboardAndQuitsThroughTheMenu) {
    // A folder name with a blank and an umlaut, as photo folders have.
    const QString pictures = root_.filePath(text("Fotos März"));
    ASSERT_TRUE(QDir().mkpath(pictures));
    std::map<QString, QByteArray> sourceDigests;
    for (const Source& source : kSources) {
        const QString path = pictures + u'/' + text(source.name);
        if (source.output) {
            writePicture(path, source.width, source.height);
        } else {
            QFile note(path);
            ASSERT_TRUE(note.open(QIODevice::WriteOnly));
            note.write("Keine Bilddatei.\n");
        }
        sourceDigests[text(source.name)] = digest(path);
    }
    const QString programFolder =
        makeProgramFolder(QStringLiteral("[Files]\nJPEG=0\nGIF=0\nBMP=0\nALL=1\n"
                                         "[Other]\nQuality=75\nPath=%1\nFilename=Foto\n"
                                         "Extension=0\n")
                              .arg(pictures));

    QElapsedTimer clock;
    clock.start();
    // A session's private runtime folder, as a desktop provides one.
    const QString runtime = root_.filePath(QStringLiteral("runtime"));
    ASSERT_TRUE(QDir().mkdir(runtime));
    ASSERT_TRUE(
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    Program program(programFolder + QStringLiteral("/kalmora"), root_.path(), runtime);
    ASSERT_TRUE(program.started());

    const QStringList mains =
        xdotool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--sync"),
                 QStringLiteral("--onlyvisible"), QStringLiteral("--pid"), program.pid(),
                 QStringLiteral("--name"), QStringLiteral("^Kalmora$")});
    ASSERT_EQ(mains.size(), 1) << "the main window did not open\n"
                               << program.errors().toStdString();
    const QString main = mains.front();

    // The icon reaches the window system in all five sizes, and the window keeps its size.
    const QString icon = xprop(main, QStringLiteral("_NET_WM_ICON"));
    for (const int size : {16, 24, 32, 48, 64})
        EXPECT_TRUE(icon.contains(QStringLiteral("Icon (%1 x %1)").arg(size)))
            << size << "\n"
            << icon.left(200).toStdString();
    const QString hints = xprop(main, QStringLiteral("WM_NORMAL_HINTS"));
    const QRegularExpression minimum(QStringLiteral("minimum size: (\\d+) by (\\d+)"));
    const QRegularExpression maximum(QStringLiteral("maximum size: (\\d+) by (\\d+)"));
    const QRegularExpressionMatch least = minimum.match(hints), most = maximum.match(hints);
    ASSERT_TRUE(least.hasMatch() && most.hasMatch()) << hints.toStdString();
    EXPECT_EQ(least.captured(1) + 'x' + least.captured(2),
              most.captured(1) + 'x' + most.captured(2))
        << "the main window must not be resizable";

    // No window manager runs: hand the focus over as a click on the title bar would.
    focus(main);
    // The scroll bar holds the focus at the start: one step up to 76. Then Alt+U: "&Umwandeln".
    keys({QStringLiteral("Right"), QStringLiteral("alt+u")});

    // The run is over when every output is there and the progress window has closed.
    bool progressSeen = false;
    const auto finished = [&] {
        if (!visibleWindows(program, QStringLiteral("Fortschritt")).isEmpty()) {
            progressSeen = true;
            return false;
        }
        for (const Source& source : kSources)
            if (source.output && !QFile::exists(pictures + u'/' + text(source.output)))
                return false;
        return true;
    };
    ASSERT_TRUE(waitUntil(finished, kRunTimeout)) << "the run did not finish\n"
                                                  << program.errors().toStdString();
    std::printf("progress window %s\n", progressSeen ? "seen" : "too quick to be seen");

    // Alt+D opens "&Datei"; once its menu is up, B chooses "&Beenden".
    focus(main);
    const qsizetype shown = visibleWindows(program, QStringLiteral(".*")).size();
    keys({QStringLiteral("alt+d")});
    const auto menuOpen = [&] {
        return visibleWindows(program, QStringLiteral(".*")).size() > shown;
    };
    ASSERT_TRUE(waitUntil(menuOpen, kWindowTimeout)) << "Alt+D opened no menu";
    keys({QStringLiteral("b")});
    ASSERT_TRUE(program.ended(kQuitTimeout)) << "the program did not quit";
    const QString errors = program.errors();
    EXPECT_TRUE(program.endedWell()) << errors.toStdString();
    if (!errors.isEmpty())
        std::printf("the program wrote:\n%s", qPrintable(errors));
    std::printf("program ran for %.1f s\n", static_cast<double>(clock.elapsed()) / 1000.0);

    // The folder holds the sources, untouched, and one JPEG per picture, named by its position.
    QStringList expected;
    for (const Source& source : kSources) {
        expected << text(source.name);
        if (source.output)
            expected << text(source.output);
    }
    QStringList found = QDir(pictures).entryList(QDir::Files | QDir::Hidden | QDir::System);
    expected.sort(Qt::CaseInsensitive);
    found.sort(Qt::CaseInsensitive);
    EXPECT_EQ(found, expected);
    for (const Source& source : kSources) {
        EXPECT_EQ(digest(pictures + u'/' + text(source.name)), sourceDigests[text(source.name)])
            << source.name << " was changed";
        if (!source.output)
            continue;
        const std::optional<testsupport::DecodedJpeg> decoded =
            testsupport::decodeJpegFile(pictures + u'/' + text(source.output));
        ASSERT_TRUE(decoded) << source.output << " is no JPEG file";
        const std::optional<QString> differs =
            testsupport::cornersDiffer(*decoded, source.width, source.height);
        EXPECT_FALSE(differs) << source.output << ": " << differs.value_or(QString()).toStdString();
    }

    // The settings file holds the choices as they were when the program quit.
    const std::map<QString, QString> expectedSettings{
        {"Files/JPEG", "0"},        {"Files/GIF", "0"},       {"Files/BMP", "0"},
        {"Files/ALL", "1"},         {"Other/Quality", "76"},  {"Other/Path", pictures},
        {"Other/Filename", "Foto"}, {"Other/Extension", "0"},
    };
    EXPECT_EQ(testsupport::readIniFile(programFolder + QStringLiteral("/Kalmora.ini")),
              expectedSettings);
}

} // namespace
