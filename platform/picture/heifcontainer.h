#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

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

// One geometric transformation of a HEIF picture: a turn, a mirror or a clean aperture (a crop).
struct HeifTransformation {
    enum Mirror { None, LeftRight, UpsideDown };
    int quarterTurns = 0; // anticlockwise
    Mirror mirror = None;
    bool crop = false;
    // The clean aperture's width, height and the horizontal and vertical offset of its centre
    // from the picture's, each as numerator and denominator (as the file gives them).
    using Aperture = std::array<std::pair<std::int64_t, std::int64_t>, 4>;
    Aperture aperture{};
};

// The geometric transformations of item `item`, in the order they apply. Throws RuntimeError 481
// when the boxes run out.
std::vector<HeifTransformation> heifTransformations(std::span<const std::uint8_t> data,
                                                    std::uint32_t item);

} // namespace platform
