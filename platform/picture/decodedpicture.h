#pragma once

#include "platform/gdi/pixelmemory.h"
#include "platform/picture/decodetarget.h"
#include "platform/picture/picture.h"

#include <cstdint>
#include <span>

namespace platform {

// A picture decoded into plain pixel memory: 24-bit blue-green-red rows lying bottom-up at
// bgrStride, as the loader's bitmaps hold them. It may be made on any thread; only the
// user-interface thread turns it into a Picture.
struct DecodedPicture {
    gdi::PixelMemory pixels;
    int width = 0;
    int height = 0;
};

// Decodes a picture file's content (see decodePicture) into pixel memory of its own, after
// checking the picture's size against the file's (checkPictureSize). `expect` hears, before the
// decoder takes memory for the picture, the most the decode will hold at once (see
// TargetAllocator::expect); it may throw to stop the decode.
// Throws RuntimeError: 481 when the content is not a picture we decode, 7 when memory runs out.
DecodedPicture decodeToMemory(std::span<const std::uint8_t> data,
                              TargetAllocator::Expect expect = {});

// A picture whose bitmap takes over the decoded pixels, without a copy. User-interface thread only.
// Throws RuntimeError 7 when the bitmap cannot be made.
PictureDisp adoptPicture(DecodedPicture decoded);

namespace hooks {
// Decodes begun so far in this process, on any thread: tests count that no file is decoded twice.
int picturesDecoded();
} // namespace hooks

} // namespace platform
