#pragma once

#include <QColor>

namespace platform {

// The colour the current style paints a menu's background with (the system's menu colour).
QColor menuColour();

} // namespace platform
