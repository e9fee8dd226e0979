#pragma once

#include <QIcon>

// The program's icon in the sizes 16, 24, 32, 48 and 64 pixels.
QIcon programIcon();
