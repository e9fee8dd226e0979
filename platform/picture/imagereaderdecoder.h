#pragma once

#include "platform/picture/decodetarget.h"
#include "platform/picture/pictureformat.h"

#include <cstdint>
#include <span>

namespace platform {

// Which of the formats read through Qt a file that starts with `head` is, by its own signature:
// GIF, TIFF (classic), WebP, ICO (a directory whose entries fit, its first picture a bitmap or a
// PNG) or PNM (the header's numbers included); None for anything else, whatever plugin would
// take it.
PictureFormat imageReaderFormat(std::span<const std::uint8_t> head);

// Decodes a picture of one of those formats with Qt's reader for it, never one the content
// names (GIF's first frame), turned upright by the file's own orientation, with transparency laid
// onto white. The bytes are read where they lie, not copied.
// Throws RuntimeError: 481 when `format` is none of those, or the reader refuses the data or
// fails (a size beyond the loader's bound included), 7 when memory runs out.
void decodeWithImageReader(std::span<const std::uint8_t> data, PictureFormat format,
                           const TargetAllocator& allocate);

// Sets the readers' process-wide allocation bound, once; decodeWithImageReader calls it too.
void prepareImageReaders();

} // namespace platform
