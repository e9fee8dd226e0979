#include "platform/controls/line.h"

#include <QImage>
#include <QWidget>
#include <gtest/gtest.h>
#include <set>
#include <utility>

using platform::Line;

namespace {

// The pixels a line paints white on a black 40 x 40 parent.
std::set<std::pair<int, int>> painted(int x1, int y1, int x2, int y2, int width) {
    QWidget parent;
    parent.setFixedSize(40, 40);
    parent.setAutoFillBackground(true);
    QPalette black = parent.palette();
    black.setColor(QPalette::Window, Qt::black);
    parent.setPalette(black);
    auto* line = new Line(&parent);
    line->setBorderColor(Qt::white);
    line->setBorderWidth(width);
    line->setEnds(x1 * 15, y1 * 15, x2 * 15, y2 * 15);
    const QImage image = parent.grab().toImage();
    std::set<std::pair<int, int>> result;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == Qt::white)
                result.insert({x, y});
    return result;
}

std::set<std::pair<int, int>> rect(int left, int top, int right, int bottom) {
    std::set<std::pair<int, int>> result;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            result.insert({x, y});
    return result;
}

} // namespace

TEST(LineTest, PaintsFromTheFirstEndUpToTheLast) {
    EXPECT_EQ(painted(5, 10, 30, 10, 1), rect(5, 10, 29, 10));
    EXPECT_EQ(painted(30, 10, 5, 10, 1), rect(6, 10, 30, 10)) << "drawn the other way";
    EXPECT_EQ(painted(5, 10, 30, 10, 2), rect(5, 10, 29, 11)) << "a wide line grows downwards";
    EXPECT_EQ(painted(7, 3, 7, 20, 2), rect(7, 3, 8, 19)) << "and a vertical one to the right";
    EXPECT_TRUE(painted(7, 7, 7, 7, 1).empty());
}

TEST(LineTest, DiagonalLinesReachBothEnds) {
    const auto pixels = painted(2, 2, 20, 20, 1);
    EXPECT_TRUE(pixels.count({2, 2}) || pixels.count({3, 3}));
    EXPECT_TRUE(pixels.count({19, 19}));
    EXPECT_FALSE(pixels.count({2, 20}));
}

TEST(LineTest, TakesNoInput) {
    Line line;
    EXPECT_TRUE(line.testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(line.focusPolicy(), Qt::NoFocus);
}
