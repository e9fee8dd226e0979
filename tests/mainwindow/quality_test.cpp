// The quality scroll bar and its read-out.
#include "mainwindow/frmmain.h"
#include "platform/controls/hscrollbar.h"
#include "support/programfolder.h"

#include <QLabel>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <gtest/gtest.h>
#include <set>

namespace {

class QualityTest : public testsupport::ProgramFolderTest {
protected:
    frmMain& start() { return forms().show<frmMain>(); }
    static QString readOut(int value) { return " " + QString::number(value) + "%"; }

    // Drags the thumb to the right end in small steps; after every step the read-out must show
    // where the thumb is. Returns the positions seen during the drag.
    static std::set<int> dragToTheEnd(frmMain& w) {
        platform::HScrollBar& bar = *w.Qualitaet;
        bar.setValue(1);
        QPoint at = bar.part(QStyle::SC_ScrollBarSlider).center();
        const int end = bar.part(QStyle::SC_ScrollBarGroove).right() + 10;
        std::set<int> seen;
        QTest::mousePress(&bar, Qt::LeftButton, {}, at);
        EXPECT_TRUE(bar.isSliderDown());
        for (; at.x() < end; at.rx() += 3) {
            QTest::mouseMove(&bar, at);
            EXPECT_TRUE(bar.isSliderDown());
            EXPECT_EQ(w.Label3->text(), readOut(bar.sliderPosition())) << "at x " << at.x();
            seen.insert(bar.sliderPosition());
        }
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, at);
        return seen;
    }
};

struct QualitySetting {
    const char* name;
    const char* value;
    int expected;
    const char* readOut;
};

class QualitySettingTest : public QualityTest,
                           public ::testing::WithParamInterface<QualitySetting> {};

TEST_P(QualitySettingTest, SetsTheScrollBarAndItsReadOut) {
    writeIni(QStringLiteral("[Other]\nQuality=") + GetParam().value + "\n");
    frmMain& w = start();
    EXPECT_EQ(w.Qualitaet->value(), GetParam().expected);
    EXPECT_EQ(w.Label3->text(), GetParam().readOut);
}

INSTANTIATE_TEST_SUITE_P(Values, QualitySettingTest,
                         ::testing::Values(QualitySetting{"ThirtyFive", "35", 35, " 35%"},
                                           QualitySetting{"Twenty", "20", 20, "20%"},
                                           QualitySetting{"Hundred", "100", 100, " 100%"},
                                           QualitySetting{"One", "1", 1, " 1%"},
                                           QualitySetting{"TooHigh", "150", 20, "20%"},
                                           QualitySetting{"Zero", "0", 20, "20%"},
                                           QualitySetting{"Negative", "-5", 20, "20%"},
                                           QualitySetting{"Plus", "+35", 20, "20%"},
                                           QualitySetting{"Text", "gut", 20, "20%"},
                                           QualitySetting{"LeadingNumber", "35x", 35, " 35%"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(QualityTest, TheReadOutFollowsEveryChange) {
    frmMain& w = start();
    platform::HScrollBar& bar = *w.Qualitaet;
    bar.setFocus();
    QTest::keyClick(&bar, Qt::Key_End);
    EXPECT_EQ(bar.value(), 100);
    EXPECT_EQ(w.Label3->text(), " 100%");
    QTest::keyClick(&bar, Qt::Key_Home);
    EXPECT_EQ(bar.value(), 1);
    EXPECT_EQ(w.Label3->text(), " 1%");
    QTest::keyClick(&bar, Qt::Key_Right);
    EXPECT_EQ(w.Label3->text(), " 2%");
    QTest::keyClick(&bar, Qt::Key_PageDown);
    EXPECT_EQ(w.Label3->text(), " 12%");
    QTest::keyClick(&bar, Qt::Key_Down);
    EXPECT_EQ(w.Label3->text(), " 13%");
    QTest::keyClick(&bar, Qt::Key_PageUp);
    EXPECT_EQ(w.Label3->text(), " 3%");
    QTest::keyClick(&bar, Qt::Key_Left);
    EXPECT_EQ(w.Label3->text(), " 2%");
    QTest::keyClick(&bar, Qt::Key_Up);
    EXPECT_EQ(w.Label3->text(), " 1%");
    QTest::keyClick(&bar, Qt::Key_Left);
    EXPECT_EQ(bar.value(), 1) << "stops at the minimum";
    bar.setValue(20); // back to 20 is a change as well
    EXPECT_EQ(w.Label3->text(), " 20%");
}

TEST_F(QualityTest, TheArrowButtonsStepByOne) {
    frmMain& w = start();
    platform::HScrollBar& bar = *w.Qualitaet;
    QTest::mouseClick(&bar, Qt::LeftButton, {}, bar.part(QStyle::SC_ScrollBarAddLine).center());
    EXPECT_EQ(bar.value(), 21);
    EXPECT_EQ(w.Label3->text(), " 21%");
    QTest::mouseClick(&bar, Qt::LeftButton, {}, bar.part(QStyle::SC_ScrollBarSubLine).center());
    EXPECT_EQ(w.Label3->text(), " 20%");
}

TEST_F(QualityTest, DraggingTheThumbUpdatesTheReadOutAtEveryPosition) {
    frmMain& w = start();
    const std::set<int> seen = dragToTheEnd(w);
    EXPECT_GT(seen.size(), 10u);
    EXPECT_EQ(w.Qualitaet->value(), 100);
    EXPECT_EQ(w.Label3->text(), " 100%");
}

TEST_F(QualityTest, DraggingShowsTheThumbPositionEvenWhenTheValueFollowsOnlyAtTheEnd) {
    frmMain& w = start();
    w.Qualitaet->setTracking(false);
    const std::set<int> seen = dragToTheEnd(w);
    EXPECT_GT(seen.size(), 10u);
    EXPECT_EQ(w.Label3->text(), " 100%");
}

TEST_F(QualityTest, AClickOnTheTrackLeftOfTheThumbStopsAtTheMinimum) {
    writeIni("[Other]\nQuality=5\n");
    frmMain& w = start();
    platform::HScrollBar& bar = *w.Qualitaet;
    const QRect left = bar.part(QStyle::SC_ScrollBarSubPage);
    ASSERT_FALSE(left.isEmpty());
    QTest::mouseClick(&bar, Qt::LeftButton, {}, left.center());
    EXPECT_EQ(bar.value(), 1);
    EXPECT_EQ(w.Label3->text(), " 1%");
}

TEST_F(QualityTest, AClickOnTheTrackRightOfTheThumbStepsByTen) {
    frmMain& w = start();
    platform::HScrollBar& bar = *w.Qualitaet;
    QTest::mouseClick(&bar, Qt::LeftButton, {}, bar.part(QStyle::SC_ScrollBarAddPage).center());
    EXPECT_EQ(bar.value(), 30);
    EXPECT_EQ(w.Label3->text(), " 30%");
}

} // namespace
