// Runs the public image corpora (kept beside the project, never in it) through the loader and
// checks what a sound loader does with each folder. Skipped when the corpora are not there.

#include "platform/errors/runtimeerror.h"
#include "platform/gdi/gdi.h"
#include "platform/picture/loadpicture.h"
#include "support/errornumber.h"
#include "support/picturesamples.h"

#include <QDir>
#include <QFileInfo>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <set>

using platform::LoadPicture;

namespace {

QString corpora() {
    return QDir(qEnvironmentVariable("KALMORA_SOURCE_DIR")).filePath("../shared/corpora");
}

struct Outcome {
    int error = 0; // 0: loaded
    int width = 0;
    int height = 0;
};

Outcome load(const QString& path) {
    Outcome outcome;
    outcome.error = testsupport::errorNumber([&] {
        const auto picture = LoadPicture(path);
        gdi::BITMAP description{};
        gdi::GetObjectA(picture->Handle(), sizeof description, &description);
        outcome.width = description.bmWidth;
        outcome.height = description.bmHeight;
    });
    return outcome;
}

class PictureCorpus : public testing::Test {
protected:
    void SetUp() override {
        if (!QFileInfo(corpora()).isDir())
            GTEST_SKIP() << "no image corpora at " << qPrintable(corpora());
    }

    // Loads every file of a folder; fails on any outcome other than a picture or "not a picture",
    // and on a leaked bitmap. Reports how many loaded.
    std::map<QString, Outcome> loadFolder(const QString& folder) {
        std::map<QString, Outcome> outcomes;
        const int before = gdi::liveObjectCount();
        const QDir dir(QDir(corpora()).filePath(folder));
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
            const Outcome outcome = load(dir.filePath(name));
            EXPECT_TRUE(outcome.error == 0 || outcome.error == platform::ErrInvalidPicture)
                << qPrintable(folder) << "/" << qPrintable(name) << ": error " << outcome.error;
            outcomes[name] = outcome;
        }
        EXPECT_EQ(gdi::liveObjectCount(), before);
        EXPECT_FALSE(outcomes.empty()) << qPrintable(folder);
        int loaded = 0;
        for (const auto& [name, outcome] : outcomes)
            loaded += outcome.error == 0;
        std::cout << qPrintable(folder) << ": " << loaded << " of " << outcomes.size()
                  << " loaded, " << outcomes.size() - loaded << " refused\n";
        return outcomes;
    }

    static void expectRefused(const std::map<QString, Outcome>& outcomes,
                              const std::set<QString>& names) {
        for (const QString& name : names) {
            ASSERT_TRUE(outcomes.contains(name)) << qPrintable(name);
            EXPECT_EQ(outcomes.at(name).error, platform::ErrInvalidPicture) << qPrintable(name);
        }
    }
    static void expectLoadedExcept(const std::map<QString, Outcome>& outcomes,
                                   const std::set<QString>& refusable) {
        for (const auto& [name, outcome] : outcomes) {
            if (!refusable.contains(name)) {
                EXPECT_EQ(outcome.error, 0) << qPrintable(name);
            }
        }
    }
};

TEST_F(PictureCorpus, GoodBitmapsAllLoad) {
    expectLoadedExcept(loadFolder("bmp/good"), {});
}

TEST_F(PictureCorpus, QuestionableBitmapsLoadWhereSupported) {
    // Refused: OS/2 Huffman and RLE24, embedded JPEG/PNG, 64 bits, Windows 1.x device-dependent
    // bitmaps, and a 57-byte file whose pixels lie 2 GB further on. Everything else loads.
    const auto outcomes = loadFolder("bmp/questionable");
    const std::set<QString> refused{"pal1huffmsb.bmp",
                                    "rgb24rle24.bmp",
                                    "rgb24jpeg.bmp",
                                    "rgb24png.bmp",
                                    "rgba64.bmp",
                                    "cppbmploader-v1-2.bmp",
                                    "cppbmploader-v1-16.bmp",
                                    "cppbmploader-v1-256.bmp",
                                    "pillow-l2rgb_read.bmp"};
    expectRefused(outcomes, refused);
    expectLoadedExcept(outcomes, refused);
}

TEST_F(PictureCorpus, BadBitmapsAreRefusedOrDecodedHarmlessly) {
    const auto outcomes = loadFolder("bmp/bad");
    expectRefused(outcomes, {"badbitcount.bmp", "badheadersize.bmp", "badplanes.bmp",
                             "badwidth.bmp", "reallybig.bmp", "rletopdown.bmp"});
}

TEST_F(PictureCorpus, GifsLoadTheirFirstFrameAndBombsAreRefused) {
    const auto outcomes = loadFolder("gif");
    const std::set<QString> broken{"image-gif-crashtest-issue-96-small-codesize.gif",
                                   "image-gif-crashtest-issue-96-small-codesize-2.gif",
                                   "image-gif-stall-issue-101-infinite-empty-loop.gif",
                                   "pillow-decompression_bomb.gif", "pillow-zero_width.gif"};
    expectRefused(outcomes, broken);
    expectLoadedExcept(outcomes, broken);
}

TEST_F(PictureCorpus, GoodJpegsLoadExceptLosslessAndTwelveBit) {
    const auto outcomes = loadFolder("jpeg-good");
    const std::set<QString> unsupported{"jpeg-decoder-lossless-MR4.jpg",
                                        "jpeg-decoder-lossless-jpeg_lossless_sel1.jpg",
                                        "libjpeg-turbo-monkey12.jpg"};
    expectRefused(outcomes, unsupported);
    expectLoadedExcept(outcomes, unsupported);
}

// The mean difference per channel between two loaded pictures of the same size.
double meanDifference(const QString& a, const QString& b) {
    const auto first = LoadPicture(a);
    const auto second = LoadPicture(b);
    gdi::BITMAP x{}, y{};
    gdi::GetObjectA(first->Handle(), sizeof x, &x);
    gdi::GetObjectA(second->Handle(), sizeof y, &y);
    if (x.bmWidth != y.bmWidth || x.bmHeight != y.bmHeight)
        return 255;
    double sum = 0;
    for (int row = 0; row < x.bmHeight; ++row)
        for (int byte = 0; byte < x.bmWidth * 3; ++byte)
            sum +=
                std::abs(static_cast<const std::uint8_t*>(x.bmBits)[row * x.bmWidthBytes + byte] -
                         static_cast<const std::uint8_t*>(y.bmBits)[row * y.bmWidthBytes + byte]);
    return sum / (3.0 * x.bmWidth * x.bmHeight);
}

TEST_F(PictureCorpus, OrientedAndCmykJpegsLookLikeTheirPlainSiblings) {
    const QDir dir(QDir(corpora()).filePath("jpeg-good"));
    for (int orientation = 2; orientation <= 8; ++orientation) {
        const QString name = QStringLiteral("pillow-hopper_orientation_%1.jpg").arg(orientation);
        EXPECT_LT(meanDifference(dir.filePath(name), dir.filePath("pillow-hopper.jpg")), 8)
            << qPrintable(name);
    }
    EXPECT_LT(meanDifference(dir.filePath("pillow-pil_sample_cmyk.jpg"),
                             dir.filePath("pillow-pil_sample_rgb.jpg")),
              8);
    // Its sibling was made by plain inversion (4 levels away); the file's own SWOP press profile
    // renders the inks about 13 levels from that, as it should. Inks read the wrong way round: 113.
    EXPECT_LT(
        meanDifference(dir.filePath("jpeg-decoder-ycck.jpg"), dir.filePath("jpeg-decoder-rgb.jpg")),
        16);
}

TEST_F(PictureCorpus, BadJpegsNeverCrashAndHugeClaimsAreRefused) {
    const auto outcomes = loadFolder("jpeg-bad");
    expectRefused(outcomes, {"imagetestsuite-6903d4538fd33c8fd0ded32cb30d618e.jpg",
                             "jpeg-decoder-max_size.jpg", "jpeg-decoder-empty.jpg"});
    // Damaged data is still a picture; the truncated one shows grey where the data ends.
    EXPECT_EQ(outcomes.at("pillow-truncated_jpeg.jpg").error, 0);
}

} // namespace
