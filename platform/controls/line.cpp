#include "platform/controls/line.h"

#include "platform/controls/controls.h"

#include <QPainter>
#include <algorithm>

namespace platform {

Line::Line(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void Line::setEnds(int x1, int y1, int x2, int y2) {
    x1_ = x1;
    y1_ = y1;
    x2_ = x2;
    y2_ = y2;
    relayout();
}

void Line::setBorderColor(const QColor& color) {
    color_ = color;
    update();
}

void Line::setBorderWidth(int pixels) {
    width_ = std::max(1, pixels);
    relayout();
}

namespace {

// The rectangle with corners a and b, both included, whichever way round they are given.
QRect spanning(QPoint a, QPoint b) {
    return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                 QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
}

} // namespace

// The widget's box holds the line with room for its width; it paints nothing but the line.
void Line::relayout() {
    const QPoint a(twipsToPixels(x1_), twipsToPixels(y1_));
    const QPoint b(twipsToPixels(x2_), twipsToPixels(y2_));
    setGeometry(spanning(a, b).adjusted(-width_, -width_, width_, width_));
    update();
}

void Line::paintEvent(QPaintEvent*) {
    const QPoint origin = geometry().topLeft();
    const QPoint a = QPoint(twipsToPixels(x1_), twipsToPixels(y1_)) - origin;
    const QPoint b = QPoint(twipsToPixels(x2_), twipsToPixels(y2_)) - origin;
    if (a == b)
        return;
    QPainter painter(this);
    if (a.y() == b.y()) {
        // Every pixel from a towards b, b itself left out; the width grows downwards.
        const int step = b.x() > a.x() ? 1 : -1;
        painter.fillRect(spanning(a, b - QPoint(step, 0)).adjusted(0, 0, 0, width_ - 1), color_);
        return;
    }
    if (a.x() == b.x()) {
        const int step = b.y() > a.y() ? 1 : -1;
        painter.fillRect(spanning(a, b - QPoint(0, step)).adjusted(0, 0, width_ - 1, 0), color_);
        return;
    }
    QPen pen(color_, width_);
    pen.setCapStyle(Qt::FlatCap);
    painter.setPen(pen);
    painter.drawLine(a, b);
}

} // namespace platform
