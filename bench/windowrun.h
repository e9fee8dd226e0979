#pragma once

// The conversion run as a user starts it, in the program's own main window. Offscreen the button
// "&Umwandeln" is clicked; on a real X server (the xcb platform) Alt+U is pressed through the X
// server, by xdotool, as a person at the keyboard does, and the time runs from the moment the key
// reaches the program to the end of the run.

#include "bench/cli.h"
#include "bench/timing.h"
#include "mainwindow/frmmain.h"
#include "platform/controls/controls.h"
#include "platform/controls/filelistbox.h"
#include "platform/windows/forms.h"
#include "platform/windows/messagebox.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QWindow>
#include <optional>

namespace bench {

class WindowRun : public QObject {
public:
    // keyboard: press the key through the X server (only the xcb platform has one). sources: the
    // pattern of the files to convert; the outputs of the other ways stay out of the list.
    WindowRun(platform::Forms& forms, bool keyboard,
              const QString& sources = QStringLiteral("src*.jpg"))
        : main_(forms.show<frmMain>()), keyboard_(keyboard) {
        main_.Dateiliste->setPattern(sources);
        if (!keyboard_)
            return;
        xdotool_ = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
        if (xdotool_.isEmpty())
            fail(QStringLiteral("pressing the key needs xdotool (tools/install-deps installs it)"));
        // The main window's timer wakes the loop at least ten times a second.
        const QDeadlineTimer deadline(60'000);
        while (!main_.windowHandle() || !main_.windowHandle()->isExposed()) {
            if (deadline.hasExpired())
                fail(QStringLiteral("the main window did not appear on the X server"));
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        qApp->installEventFilter(this);
        platform::setDoEventsObserver([this] { pumped_ = true; });
    }
    ~WindowRun() override {
        if (keyboard_)
            platform::setDoEventsObserver({});
    }

    // Converts the sources of folder into Foto000.jpg ...
    Sample convert(const QString& folder) {
        main_.Dateiliste->setPath(folder);
        platform::setText(*main_.Pfad, folder);
        if (!keyboard_) {
            const Mark start;
            main_.cmd_Save->click();
            return start.elapsed();
        }
        return pressKey();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (armed_ && event->type() == QEvent::KeyPress) {
            armed_ = false;
            keyArrived_.emplace();
        }
        return false;
    }

private:
    Sample pressKey() {
        armed_ = true;
        keyArrived_.reset();
        pumped_ = false;
        QProcess xdotool;
        // No window manager runs: the focus is handed over as a click on the title bar would.
        xdotool.start(xdotool_, {QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                                 QString::number(main_.winId()), QStringLiteral("key"),
                                 QStringLiteral("alt+u")});
        // The run happens inside one of these calls; it has ended once the main window, which
        // the progress window disables, takes input again.
        const QDeadlineTimer deadline(600'000);
        while (!pumped_ || !main_.isEnabled()) {
            if (deadline.hasExpired())
                fail(keyArrived_ ? QStringLiteral("Alt+U arrived, but no run ended in 10 minutes")
                                 : QStringLiteral("Alt+U never reached the main window"));
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        const Sample sample = keyArrived_->elapsed();
        if (xdotool.state() != QProcess::NotRunning)
            xdotool.waitForFinished(10'000);
        if (xdotool.exitStatus() != QProcess::NormalExit || xdotool.exitCode() != 0)
            fail(QStringLiteral("xdotool failed: %1")
                     .arg(QString::fromLocal8Bit(xdotool.readAllStandardError())));
        return sample;
    }

    frmMain& main_;
    bool keyboard_;
    QString xdotool_;
    bool armed_ = false;
    bool pumped_ = false;
    std::optional<Mark> keyArrived_;
};

} // namespace bench
