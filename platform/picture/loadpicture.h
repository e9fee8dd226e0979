#pragma once

#include "platform/picture/picture.h"

#include <QString>

namespace platform {

// Loads a picture file, recognised by its content: JPEG, PNG, HEIC and AVIF, Windows and OS/2
// bitmaps (BMP, DIB), TGA, and GIF, TIFF, WebP, ICO and PNM through Qt's image readers. The picture
// comes upright and in sRGB, transparent parts on white.
// Throws RuntimeError: ErrInvalidPicture (481) when the content is not a picture the loader
// decodes, ErrFileNotFound (53) when the file does not exist, ErrPathFileAccess (75) when it
// cannot be opened or read, ErrOutOfMemory (7) when memory runs out.
PictureDisp LoadPicture(const QString& path);

} // namespace platform
