// From a folder of pictures to JPEG files, as a user gets there: the main window on a generated
// folder of several formats, "&Umwandeln" clicked, the outputs decoded again.
#include "mainwindow/frmmain.h"
#include "platform/controls/controls.h"
#include "platform/controls/filelistbox.h"
#include "support/cornerpicture.h"
#include "support/decodedjpeg.h"
#include "support/heifsamples.h"
#include "support/messageboxes.h"
#include "support/picturesamples.h"
#include "support/programfolder.h"
#include "support/qtprinters.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using testsupport::corners::colourAt;

// The four coloured quarters, in the given format.
QImage quarters(int width, int height, QImage::Format format) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const testsupport::Rgb c = colourAt(x, y, width, height);
            image.setPixel(x, y, qRgb(c[0], c[1], c[2]));
        }
    }
    return image.convertToFormat(format);
}

// The quarters as a GIF: indices into the eight sample colours (red 1, green 2, blue 3, white 7).
QByteArray quartersGif(int width, int height) {
    std::vector<int> indices;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const testsupport::Rgb c = colourAt(x, y, width, height);
            indices.push_back(c == testsupport::Rgb{255, 255, 255} ? 7
                              : c[0] == 255                        ? 1
                              : c[1] == 255                        ? 2
                                                                   : 3);
        }
    }
    return testsupport::gifFile(width, height, {indices});
}

struct Source {
    const char* name;
    const char* format;
    int width;
    int height;
    QImage::Format pixels;
};

class BatchConversion : public testsupport::ProgramFolderTest {
protected:
    QTemporaryDir pictures;
    testsupport::MessageBoxes boxes;
};

TEST_F(BatchConversion, EveryPictureBecomesAnUprightJpegOfItsSizeAndColours) {
    const Source sources[] = {
        {"a.bmp", "BMP", 37, 29, QImage::Format_RGB888},
        {"b.bmp", "BMP", 40, 31, QImage::Format_Indexed8},
        {"c.png", "PNG", 33, 21, QImage::Format_ARGB32},
        {"d.jpg", "JPG", 64, 48, QImage::Format_RGB888},
        {"e.bmp", "BMP", 120, 90, QImage::Format_RGB32},
    };
    // Files written byte by byte (GIF, HEIC, a JPEG stored turned), with their shown size; each
    // decoder runs on the read-ahead's workers too.
    const QImage upright = quarters(64, 48, QImage::Format_RGB32);
    const struct {
        const char* name;
        QByteArray bytes;
        int width, height;
    } files[] = {
        {"f.gif", quartersGif(30, 22), 30, 22},
        {"g.heic", testsupport::heifFile(quarters(48, 32, QImage::Format_RGB32)), 48, 32},
        {"h.jpg",
         testsupport::withExifOrientation(
             testsupport::encoded(testsupport::storedForOrientation(upright, 6), "jpeg", 95), 6),
         64, 48},
    };
    for (const auto& file : files) {
        QFile written(pictures.filePath(QString::fromLatin1(file.name)));
        ASSERT_TRUE(written.open(QIODevice::WriteOnly) && written.write(file.bytes) > 0);
    }
    for (const Source& source : sources) {
        const QImage image = quarters(source.width, source.height, source.pixels);
        ASSERT_TRUE(
            image.save(pictures.filePath(QString::fromLatin1(source.name)), source.format, 95));
    }

    frmMain& w = forms().show<frmMain>();
    w.Dateiliste->setPath(pictures.path());
    w.Dateiliste->setPattern(QStringLiteral("*.*"));
    platform::setText(*w.Pfad, pictures.path());
    QTest::mouseClick(w.cmd_Save, Qt::LeftButton);
    EXPECT_EQ(boxes.count(), 0);

    // The outputs in the order of the names, each the picture upright at its shown size.
    int index = 0;
    const auto expectUpright = [&](const char* name, int width, int height) {
        const QString output = pictures.filePath(QStringLiteral("Foto00%1.jpg").arg(index++));
        const auto decoded = testsupport::decodeJpegFile(output);
        ASSERT_TRUE(decoded) << name << " gave no JPEG";
        const auto differs = testsupport::cornersDiffer(*decoded, width, height);
        EXPECT_FALSE(differs) << name << ": " << differs.value_or(QString()).toStdString();
    };
    for (const Source& source : sources)
        expectUpright(source.name, source.width, source.height);
    for (const auto& file : files)
        expectUpright(file.name, file.width, file.height);
    EXPECT_EQ(QDir(pictures.path()).entryList(QDir::Files | QDir::Hidden).size(),
              2 * static_cast<int>(std::size(sources) + std::size(files)));
}

} // namespace
