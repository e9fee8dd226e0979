// The quality scroll bar as a person sees it: the thumb shows whether the bar has the focus.
#include "platform/controls/hscrollbar.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

// The pixels of the bar's thumb and of the rest of the bar, told apart.
struct Parts {
    QImage thumb;
    QImage rest;
};

Parts parts(platform::HScrollBar& bar) {
    const QRect thumb = bar.part(QStyle::SC_ScrollBarSlider);
    QImage image = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
    Parts result{image.copy(thumb), image};
    result.rest.fill(Qt::black);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!thumb.contains(x, y))
                result.rest.setPixel(x, y, image.pixel(x, y));
    return result;
}

TEST(HScrollBarTest, TheThumbCarriesTheFocusMarkWhileTheBarHasTheFocus) {
    QWidget window;
    auto* bar = new platform::HScrollBar(&window);
    auto* other = new QLineEdit(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(bar);
    layout->addWidget(other);
    bar->setRange(1, 100);
    bar->setPageStep(10);
    bar->setValue(50);
    bar->setFocusPolicy(Qt::StrongFocus);
    window.resize(160, 60);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    // Focus marks show once the keyboard has moved the focus, as on the platform.
    other->setFocus();
    QTest::keyClick(other, Qt::Key_Tab);
    ASSERT_TRUE(bar->hasFocus());
    const Parts focused = parts(*bar);
    QTest::keyClick(bar, Qt::Key_Tab);
    ASSERT_TRUE(other->hasFocus());
    const Parts unfocused = parts(*bar);

    EXPECT_NE(focused.thumb, unfocused.thumb) << "the focus shows on the thumb";
    EXPECT_EQ(focused.rest, unfocused.rest) << "and nowhere else";
}

} // namespace
