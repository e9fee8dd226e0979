#pragma once

#include <QColor>
#include <QWidget>

namespace platform {

// A line control: drawn from one end point towards the other (the last point left out, as the
// window system draws lines), in a colour and a width in pixels; a wide horizontal line grows
// downwards, a wide vertical one to the right. It takes no input.
class Line : public QWidget {
public:
    explicit Line(QWidget* parent = nullptr);

    // End points in twips of the parent's client area.
    void setEnds(int x1, int y1, int x2, int y2);
    void setBorderColor(const QColor& color);
    void setBorderWidth(int pixels);

    int X1() const { return x1_; }
    int Y1() const { return y1_; }
    int X2() const { return x2_; }
    int Y2() const { return y2_; }
    const QColor& BorderColor() const { return color_; }
    int BorderWidth() const { return width_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void relayout();

    int x1_ = 0, y1_ = 0, x2_ = 0, y2_ = 0;
    QColor color_{Qt::black};
    int width_ = 1;
};

} // namespace platform
