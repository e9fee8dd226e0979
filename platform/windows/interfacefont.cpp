#include "platform/windows/interfacefont.h"

#include <QApplication>

namespace platform {

QFont interfaceFont() {
    // DejaVu Sans Condensed at 8 points has about the width of the classic 8-point dialog font;
    // the regular DejaVu Sans would push " 100%" past its 34-pixel label.
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
    font.setStretch(QFont::SemiCondensed);
    font.setPointSize(8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void useInterfaceFont() {
    QApplication::setFont(interfaceFont());
}

} // namespace platform
