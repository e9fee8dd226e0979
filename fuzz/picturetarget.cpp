#include "conversion/writejpegfile.h"
#include "fuzz/fuzztargets.h"
#include "image/cdibsection.h"
#include "platform/errors/runtimeerror.h"
#include "platform/gdi/gdi.h"
#include "platform/picture/loadpicture.h"
#include "platform/windows/messagebox.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <optional>

namespace fuzztargets {
namespace {

// Counts the message boxes shown while it lives (a writable folder must never show one).
class CountedBoxes {
public:
    CountedBoxes() {
        platform::setMessageBoxHandler([this](const platform::MessageBoxRequest&) {
            ++count_;
            return static_cast<int>(platform::vbOK);
        });
    }
    ~CountedBoxes() { platform::setMessageBoxHandler({}); }
    CountedBoxes(const CountedBoxes&) = delete;
    CountedBoxes& operator=(const CountedBoxes&) = delete;
    int count() const { return count_; }

private:
    int count_ = 0;
};

struct Size {
    int width = 0;
    int height = 0;
    bool operator==(const Size&) const = default;
};

Size sizeOf(const platform::PictureDisp& picture) {
    gdi::BITMAP description;
    if (!picture || gdi::GetObjectA(picture->Handle(), sizeof description, &description) == 0)
        return {};
    return {description.bmWidth, description.bmHeight};
}

std::string describe(const Size& size) {
    return std::to_string(size.width) + " x " + std::to_string(size.height);
}

// The load, copy and write of one picture, as the batch run does them; the picture is released
// before the caller counts the objects left.
std::string convert(const QString& input, const QString& output, int quality) {
    platform::PictureDisp picture;
    try {
        picture = platform::LoadPicture(input);
    } catch (const platform::RuntimeError& error) {
        // Not a picture, or one too large for memory: both are refusals, not faults.
        if (error.number() == platform::ErrInvalidPicture ||
            error.number() == platform::ErrOutOfMemory)
            return {};
        return "the load failed with error " + std::to_string(error.number());
    }
    const Size loaded = sizeOf(picture);
    if (loaded.width <= 0 || loaded.height <= 0)
        return "a loaded picture has the size " + describe(loaded);

    cDIBSection buffer;
    buffer.CreateFromPicture(picture);
    if (const Size copied{buffer.Width(), buffer.Height()}; copied != loaded)
        return "the buffer is " + describe(copied) + " for a picture of " + describe(loaded);

    const CountedBoxes boxes;
    const bool written = WriteJpegFile(buffer, output, quality);
    // A JPEG file holds at most 65500 pixels each way: a wider picture is reported, not written.
    constexpr int jpegLimit = 65500;
    if (loaded.width > jpegLimit || loaded.height > jpegLimit) {
        if (written || boxes.count() != 1 || QFile::exists(output))
            return "a picture of " + describe(loaded) + " was not refused with one message";
        return {};
    }
    if (!written || boxes.count() != 0)
        return "a picture of " + describe(loaded) + " was not written";
    try {
        if (const Size written = sizeOf(platform::LoadPicture(output)); written != loaded)
            return "the JPEG file is " + describe(written) + " for " + describe(loaded);
    } catch (const platform::RuntimeError& error) {
        return "the JPEG file written does not load: error " + std::to_string(error.number());
    }
    return {};
}

} // namespace

std::string convertPicture(std::span<const std::uint8_t> bytes) {
    static QTemporaryDir folder;
    if (!folder.isValid())
        return "no scratch folder";
    const QString input = folder.filePath(QStringLiteral("picture"));
    const QString output = folder.filePath(QStringLiteral("Foto000.jpg"));
    {
        QFile file(input);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()))
            return "the input cannot be written";
    }

    const int objectsBefore = gdi::liveObjectCount();
    const int quality = bytes.empty() ? 20 : 1 + bytes.back() % 100;
    std::string problem = convert(input, output, quality);
    if (problem.empty() && gdi::liveObjectCount() != objectsBefore)
        problem = "GDI objects were left behind";

    QFile::remove(output);
    QFile::remove(input);
    if (problem.empty() &&
        !QDir(folder.path())
             .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
             .isEmpty())
        problem = "a file was left behind in the folder";
    return problem;
}

} // namespace fuzztargets
