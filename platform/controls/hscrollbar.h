#pragma once

#include <QRect>
#include <QScrollBar>
#include <QString>
#include <QStyle>

class QKeyEvent;
class QPaintEvent;

namespace platform {

// A horizontal scroll bar whose keys move the thumb as the platform's scroll bars do: Left and Up
// one small step towards the minimum, Right and Down one towards the maximum, Page Up and Page
// Down a large step, Home and End to the ends. (Qt's own scroll bar swaps Left and Right.)
// While it has the focus its thumb carries the focus mark. Assistive technology reads its value
// and range, and the value followed by its suffix as the text of the value ("20 %").
class HScrollBar : public QScrollBar {
    Q_OBJECT
public:
    explicit HScrollBar(QWidget* parent = nullptr);

    // What follows the number where the value is read out; empty at first.
    QString valueSuffix() const { return valueSuffix_; }
    void setValueSuffix(const QString& suffix) { valueSuffix_ = suffix; }

    // Where a part of the bar (thumb, arrows, page areas) is drawn at the moment.
    QRect part(QStyle::SubControl control) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString valueSuffix_;
};

} // namespace platform
