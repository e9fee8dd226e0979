#pragma once

#include <cstdint>
#include <span>

namespace platform {

// Whether the data starts like a HEIF picture (HEIC, AVIF): a file-type box whose major brand is
// one of still pictures or picture sequences, or that lists the brand of a picture file among its
// compatible ones. Videos (brands mp42, isom, qt) are not pictures.
bool looksLikeHeif(std::span<const std::uint8_t> data);

// Checks what a HEIF file's boxes claim, before libheif takes memory on their word: every box lies
// within its parent, every item's data within the file; every picture size (ispe) is one the
// loader takes; a grid or an overlay is as large as its ispe says, and a grid's tiles cover it.
// Throws RuntimeError: 481 when a claim is false or too large, 7 when a size would not fit into
// memory.
void checkHeifBoxes(std::span<const std::uint8_t> data);

} // namespace platform
