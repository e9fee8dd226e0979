#include "platform/windows/systemcolours.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace platform {

QColor menuColour() {
    // Styles paint menus in their own way (Fusion lightens the base colour, others use the
    // window colour), so the colour is taken from a painted menu panel; its rim is a border.
    const QPalette palette = QApplication::palette("QMenu");
    QImage panel(16, 16, QImage::Format_ARGB32_Premultiplied);
    panel.fill(Qt::transparent);
    {
        QPainter painter(&panel);
        QStyleOption option;
        option.rect = panel.rect();
        option.palette = palette;
        option.state = QStyle::State_Enabled;
        QApplication::style()->drawPrimitive(QStyle::PE_PanelMenu, &option, &painter, nullptr);
    }
    const QColor centre = panel.pixelColor(8, 8);
    return centre.alpha() == 255 ? centre : palette.color(QPalette::Window);
}

} // namespace platform
