#include "conversion/batchrun.h"

#include "conversion/fortschritt.h"
#include "conversion/outputname.h"
#include "conversion/sourceguard.h"
#include "conversion/writejpegfile.h"
#include "image/cdibsection.h"
#include "mainwindow/frmmain.h"
#include "platform/controls/filelistbox.h"
#include "platform/controls/hscrollbar.h"
#include "platform/controls/picturebox.h"
#include "platform/controls/progressbar.h"
#include "platform/controls/textbox.h"
#include "platform/errors/resumenext.h"
#include "platform/picture/loadpicture.h"
#include "platform/picture/readahead.h"
#include "platform/windows/appinfo.h"
#include "platform/windows/messagebox.h"
#include "platform/windows/numbertext.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStringList>
#include <optional>

namespace conversion {

namespace {

using platform::ResumeNext;

// The progress window while it is open. Once it is closed (cancelled) the run only looks for
// the abort flag, so it is never loaded anew for an update.
Fortschritt* progressWindow(platform::Forms& forms) {
    return forms.find<Fortschritt>();
}

// After each file, whether it was written or skipped: the bar moves on by one, and the label
// tells how many of the run's files are done.
void advance(platform::Forms& forms) {
    Fortschritt* window = progressWindow(forms);
    if (!window)
        return;
    platform::ProgressBar& bar = *window->prgBFortschritt;
    if (bar.Max() > bar.Value())
        bar.setValue(bar.Value() + 1.0f);
    window->lblFortschritt->setText(platform::numberText(bar.Value()) + QStringLiteral(" von ") +
                                    platform::numberText(bar.Max()) + QStringLiteral(" Dateien."));
}

class Run {
public:
    explicit Run(platform::Forms& forms) : forms_(forms), main_(&forms.get<frmMain>()) {}
    void operator()();

private:
    void convert(std::int32_t index, std::int32_t quality);

    platform::Forms& forms_;
    // The main window can go while the run pumps messages: a cancel enables it again at once, and
    // a close request handled in the same pump unloads it. The run then only ends.
    QPointer<frmMain> main_;
    ResumeNext err_;
    QStringList names_;
    std::optional<SourceGuard> guard_;
    std::optional<platform::PictureReadAhead> readAhead_;
    std::optional<cDIBSection> buffer_;
};

void Run::operator()() {
    std::int32_t count = 0;
    err_.step([&] { count = main_->Dateiliste->ListCount(); });
    if (count == 0) {
        err_.step([] {
            platform::MsgBox(
                QStringLiteral("Im ausgewählten Verzeichnis befinden sich keine Bilder!"),
                platform::vbOKOnly | platform::vbInformation, platform::AppTitle);
        });
        return;
    }

    // The run works on its own copy of the names: the timer's refreshes of the list, which soon
    // name the new outputs too, change neither which files are converted nor their numbers.
    err_.step([&] {
        names_.reserve(count);
        for (std::int32_t index = 0; index < count; ++index)
            names_.append(main_->Dateiliste->List(index));
    });
    // Taken before anything is written, so that an output can tell whether it would replace a
    // source of this run.
    QStringList sources;
    err_.step([&] {
        sources.reserve(names_.size());
        const QString folder = main_->Pfad->Text();
        for (const QString& name : std::as_const(names_))
            sources.append(folder + u'/' + name);
        guard_.emplace(sources);
    });
    if (!guard_)
        return; // without it no output may be written
    // The loader decodes the files ahead of the run, on the other processors; the first while
    // the progress window opens.
    err_.step([&] { readAhead_.emplace(sources); });

    // Whichever way the run ends: the window closes (which enables the main window again), the
    // abort flag is cleared and the buffer released; outputs still waiting for their sources
    // are dropped.
    const auto end = qScopeGuard([&] {
        readAhead_.reset();
        ResumeNext finish;
        finish.step([&] { forms_.unload<Fortschritt>(); });
        if (main_)
            main_->Abbr = false;
        buffer_.reset();
        guard_.reset();
    });

    err_.step([&] { forms_.show<Fortschritt>(); });
    err_.step([] { platform::DoEvents(); });
    if (!main_)
        return;

    std::int32_t quality = 0;
    err_.step([&] {
        if (Fortschritt* window = progressWindow(forms_))
            window->prgBFortschritt->setMax(static_cast<float>(count));
    });
    err_.step([&] { quality = main_->Qualitaet->value(); });

    for (std::int32_t index = 0; index < count; ++index) {
        if (!main_ || main_->Abbr)
            break;
        convert(index, quality);
        err_.step([&] { advance(forms_); });
        err_.step([] { platform::DoEvents(); });
    }
}

void Run::convert(std::int32_t index, std::int32_t quality) {
    err_.clear();
    // The previous picture goes first: it is never taken for this file's, and its memory serves
    // the next one.
    main_->Quelle->setPicture({});
    err_.step([&] {
        const QString path = main_->Pfad->Text() + u'/' + names_.value(index);
        main_->Quelle->setPicture(platform::LoadPicture(path));
    });
    switch (err_.number()) {
    case 0:
        break;
    case platform::ErrInvalidPicture:
    case platform::ErrFileNotFound:
        // Read and found to be no picture, or gone: its name may be written.
        guard_->mayBeReplaced(index);
        return;
    default:
        // Unreadable, or memory ran out: no output, and the source keeps its name.
        return;
    }

    if (!buffer_)
        buffer_.emplace();
    // An empty buffer (the picture could not be drawn into one) is never handed to the writer.
    const bool built =
        err_.step([&] { buffer_->CreateFromPicture(main_->Quelle->Picture()); }) && buffer_->hDib();
    if (!built)
        return;

    QString target;
    if (!err_.step([&] {
            target =
                OutputPath(main_->Pfad->Text(), main_->Dateiname->Text(), index,
                           OutputExtension(main_->ExtKl->isChecked(), main_->ExtGr->isChecked()));
        }))
        return;
    bool written = false;
    err_.step(
        [&] { written = WriteJpegFile(*buffer_, guard_->destination(index, target), quality); });
    guard_->written(index, written);
}

} // namespace

void BatchRun(platform::Forms& forms) {
    // Every step contains its own failures. Outside them the run only finds the main window
    // (loaded: it started the run) and keeps its own and the source guard's books (names, lists,
    // maps, and system calls that report by their result), so what can escape is memory running
    // out; that must not reach the event loop. The run's end is cleaned up on the way out.
    try {
        Run run(forms);
        run();
    } catch (const std::bad_alloc&) {
    }
}

} // namespace conversion
