// One picture file through the whole pipeline: loader, image buffer, JPEG writer, decoded again.
#include "conversion/writejpegfile.h"
#include "image/cdibsection.h"
#include "platform/gdi/gdi.h"
#include "platform/picture/loadpicture.h"
#include "support/cornerpicture.h"
#include "support/messageboxes.h"

#include <QColorSpace>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Case {
    const char* format; // as QImage::save names it
    const char* extension;
    int width;
    int height;
    QColorSpace::NamedColorSpace space = QColorSpace::SRgb; // others: converted and tagged
};

class PipelineTest : public ::testing::TestWithParam<Case> {};

// The corner picture as Qt would show it, saved in the case's format.
QString saveCorners(const QTemporaryDir& dir, const Case& c) {
    QImage image(c.width, c.height, QImage::Format_RGB888);
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            const auto [r, g, b] = testsupport::corners::colourAt(x, y, c.width, c.height);
            image.setPixel(x, y, qRgb(r, g, b));
        }
    if (c.space != QColorSpace::SRgb) {
        image.setColorSpace(QColorSpace::SRgb);
        image.convertToColorSpace(c.space);
    }
    const QString path = dir.filePath(QStringLiteral("Föto – ß.") + c.extension);
    EXPECT_TRUE(image.save(path, c.format, 100));
    return path;
}

TEST_P(PipelineTest, OutputShowsThePictureUprightInItsOwnColours) {
    const Case c = GetParam();
    QTemporaryDir dir;
    testsupport::MessageBoxes boxes;
    const int objectsBefore = gdi::liveObjectCount();
    {
        cDIBSection buffer;
        buffer.CreateFromPicture(platform::LoadPicture(saveCorners(dir, c)));
        ASSERT_EQ(buffer.Width(), c.width);
        ASSERT_EQ(buffer.Height(), c.height);
        ASSERT_TRUE(WriteJpegFile(buffer, dir.filePath("Foto000.jpg"), 90));
    }
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(gdi::liveObjectCount(), objectsBefore) << "the picture and the buffer leave nothing";

    const auto decoded = testsupport::decodeJpegFile(dir.filePath("Foto000.jpg"));
    ASSERT_TRUE(decoded);
    const auto differs = testsupport::cornersDiffer(*decoded, c.width, c.height);
    EXPECT_FALSE(differs) << differs.value_or(QString()).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Formats, PipelineTest,
                         ::testing::Values(Case{"BMP", "bmp", 101, 67}, Case{"PNG", "png", 33, 20},
                                           Case{"TIFF", "tif", 17, 31}, Case{"JPEG", "jpg", 99, 75},
                                           Case{"JPEG", "jpg", 64, 48, QColorSpace::DisplayP3},
                                           Case{"TIFF", "tif", 17, 31, QColorSpace::AdobeRgb}));

TEST(Pipeline, ASmallerSecondPictureLeavesNothingOfTheFirst) {
    QTemporaryDir dir;
    testsupport::MessageBoxes boxes;
    QImage big(64, 48, QImage::Format_RGB888);
    big.fill(Qt::red);
    QImage small(16, 8, QImage::Format_RGB888);
    small.fill(Qt::blue);
    ASSERT_TRUE(big.save(dir.filePath("a.bmp")));
    ASSERT_TRUE(small.save(dir.filePath("b.bmp")));

    cDIBSection buffer;
    buffer.CreateFromPicture(platform::LoadPicture(dir.filePath("a.bmp")));
    buffer.CreateFromPicture(platform::LoadPicture(dir.filePath("b.bmp")));
    ASSERT_TRUE(WriteJpegFile(buffer, dir.filePath("out.jpg"), 90));
    const auto decoded = testsupport::decodeJpegFile(dir.filePath("out.jpg"));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, 16);
    EXPECT_EQ(decoded->height, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_TRUE(testsupport::near(decoded->pixel(x, y), {0, 0, 255}, 8)) << x << "," << y;
}

} // namespace
