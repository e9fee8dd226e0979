#pragma once

#include <QFont>

namespace platform {

// The program's interface font. The windows' geometry was laid out for an 8-point interface font
// of narrow metrics; this one keeps every caption inside that geometry.
QFont interfaceFont();

// Makes interfaceFont() the application's font; call once after the application is created.
void useInterfaceFont();

} // namespace platform
