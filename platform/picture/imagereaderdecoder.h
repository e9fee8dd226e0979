#pragma once

#include "platform/picture/decodetarget.h"

#include <cstdint>
#include <span>

namespace platform {

// Whether one of Qt's image readers takes a file that starts with `head` (or the file may be a
// TGA, which has no signature).
bool imageReaderTakes(std::span<const std::uint8_t> head);

// Decodes a picture through Qt's image readers (GIF's first frame, and whatever the installed
// plugins read: TIFF, WebP, TGA, ICO ...), turned upright by the file's own orientation, with
// transparency laid onto white. The bytes are read where they lie, not copied.
// Throws RuntimeError: 481 when no reader takes the data or the reader fails (a size beyond the
// loader's bound included), 7 when memory runs out.
void decodeWithImageReader(std::span<const std::uint8_t> data, const TargetAllocator& allocate);

} // namespace platform
