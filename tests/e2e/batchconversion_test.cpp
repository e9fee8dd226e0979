// From a folder of pictures to JPEG files, as a user gets there: the main window on a generated
// folder of several formats, "&Umwandeln" clicked, the outputs decoded again.
#include "mainwindow/frmmain.h"
#include "platform/controls/controls.h"
#include "platform/controls/filelistbox.h"
#include "support/cornerpicture.h"
#include "support/decodedjpeg.h"
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
    constexpr int kGifWidth = 30, kGifHeight = 22;
    {
        QFile gif(pictures.filePath(QStringLiteral("f.gif")));
        ASSERT_TRUE(gif.open(QIODevice::WriteOnly));
        gif.write(quartersGif(kGifWidth, kGifHeight));
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

    int index = 0;
    for (const Source& source : sources) {
        const QString output = pictures.filePath(QStringLiteral("Foto00%1.jpg").arg(index++));
        const auto decoded = testsupport::decodeJpegFile(output);
        ASSERT_TRUE(decoded) << source.name << " gave no JPEG";
        const auto differs = testsupport::cornersDiffer(*decoded, source.width, source.height);
        EXPECT_FALSE(differs) << source.name << ": " << differs.value_or(QString()).toStdString();
    }
    const auto gif = testsupport::decodeJpegFile(pictures.filePath(QStringLiteral("Foto005.jpg")));
    ASSERT_TRUE(gif) << "f.gif gave no JPEG";
    const auto differs = testsupport::cornersDiffer(*gif, kGifWidth, kGifHeight);
    EXPECT_FALSE(differs) << "f.gif: " << differs.value_or(QString()).toStdString();
    EXPECT_EQ(QDir(pictures.path()).entryList(QDir::Files | QDir::Hidden).size(),
              2 * (static_cast<int>(std::size(sources)) + 1));
}

} // namespace
