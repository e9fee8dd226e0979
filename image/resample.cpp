#include "image/byteview.h"
#include "image/cdibsection.h"
#include "platform/errors/runtimeerror.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <new>
#include <vector>

namespace {

// The rounding below relies on each double operation being rounded to double (no wider
// intermediate), as with SSE2 and every 64-bit target.
static_assert(FLT_EVAL_METHOD == 0);

// Nearest integer, halves to the even neighbour, as std::nearbyint gives it in the default
// rounding mode, without the library call: once 1.5 x 2^52 is added no fraction bit is left, so
// the addition itself rounds and the subtraction is exact. Holds for |value| < 2^51; the values
// here lie between 0 and 255.
inline double roundHalfEven(double value) {
    constexpr double shifter = 0x1.8p52;
    return (value + shifter) - shifter;
}

// The value rounded like roundHalfEven and clamped to 0..255. The rounded integer is read from the
// low bits of the shifted sum, which hold it in two's complement.
inline std::uint8_t roundedByte(double value) {
    constexpr double shifter = 0x1.8p52;
    const auto rounded = static_cast<std::int32_t>(std::bit_cast<std::uint64_t>(value + shifter));
    if (static_cast<std::uint32_t>(rounded) <= 255) [[likely]]
        return static_cast<std::uint8_t>(rounded);
    return rounded < 0 ? 0 : 255;
}

// (source size - 1) / destination size, divided in double and kept as a float.
float scaleOf(std::int32_t sourceSize, std::int32_t destSize) {
    return static_cast<float>((static_cast<double>(sourceSize) - 1.0) / destSize);
}

// Where destination row or column i samples the source: the source index it lies on or after, and
// the weight of the one after that.
struct Sample {
    std::int32_t index;
    float fraction;
};

Sample sampleOf(float scale, std::int32_t i) {
    const float position = static_cast<float>(static_cast<double>(scale) * i);
    const auto index = static_cast<std::int32_t>(std::floor(position));
    return {index, static_cast<float>(static_cast<double>(position) - index)};
}

// One destination column: the first byte of its left source pixel and the weights of that pixel
// and of its right neighbour.
struct Column {
    std::int32_t byte;
    double left;  // 1 - fx
    double right; // fx
};

// The vertical step with the products of every byte value and the row's two weights made once and
// looked up: worth it for rows of many columns (512 products a row instead of 12 a column).
class TabledVertical {
public:
    TabledVertical(double topWeight, double nextWeight) {
        for (int v = 0; v < 256; ++v) {
            top_[v] = topWeight * v;
            next_[v] = nextWeight * v;
        }
    }
    double operator()(std::uint8_t top, std::uint8_t next) const {
        return roundHalfEven(top_[top] + next_[next]);
    }

private:
    std::array<double, 256> top_;
    std::array<double, 256> next_;
};

// The vertical step multiplying as it goes; the same products as the table holds.
class DirectVertical {
public:
    DirectVertical(double topWeight, double nextWeight)
        : topWeight_(topWeight), nextWeight_(nextWeight) {}
    double operator()(std::uint8_t top, std::uint8_t next) const {
        return roundHalfEven(topWeight_ * top + nextWeight_ * next);
    }

private:
    double topWeight_;
    double nextWeight_;
};

// Fills the first count pixels of out from the source rows top and next, whose bytes those
// columns read have been bounds-tested.
template <class Vertical>
void interpolateRow(const Column* columns, std::int32_t count, const std::uint8_t* top,
                    const std::uint8_t* next, const Vertical& vertical, std::uint8_t* out) {
    // The six values after the vertical step for the source pixel pair at mByte (left pixel m0..m2,
    // right pixel m3..m5). Enlarging, the next column often reads the same pair, or the pair one
    // pixel on, whose left pixel is this pair's right one.
    double m0 = 0, m1 = 0, m2 = 0, m3 = 0, m4 = 0, m5 = 0;
    std::int32_t mByte = -6;
    for (std::int32_t x = 0; x < count; ++x) {
        const Column& column = columns[x];
        const std::int32_t byte = column.byte;
        if (byte != mByte) {
            const std::uint8_t* const t = top + byte;
            const std::uint8_t* const n = next + byte;
            if (byte == mByte + 3) {
                m0 = m3;
                m1 = m4;
                m2 = m5;
            } else {
                m0 = vertical(t[0], n[0]);
                m1 = vertical(t[1], n[1]);
                m2 = vertical(t[2], n[2]);
            }
            m3 = vertical(t[3], n[3]);
            m4 = vertical(t[4], n[4]);
            m5 = vertical(t[5], n[5]);
            mByte = byte;
        }
        // Weights and results into locals first: the byte stores could alias anything.
        const double left = column.left;
        const double right = column.right;
        const std::uint8_t blue = roundedByte(left * m0 + right * m3);
        const std::uint8_t green = roundedByte(left * m1 + right * m4);
        const std::uint8_t red = roundedByte(left * m2 + right * m5);
        std::uint8_t* const pixel = out + 3 * x;
        pixel[0] = blue;
        pixel[1] = green;
        pixel[2] = red;
    }
}

constexpr std::int32_t kTabledColumns = 64;

} // namespace

std::shared_ptr<cDIBSection> cDIBSection::Resample(std::int32_t lNewHeight,
                                                   std::int32_t lNewWidth) const {
    if (!lBits)
        return nullptr; // nothing to read: no pixel memory, whatever size the header still names
    auto resampled = std::make_shared<cDIBSection>();
    if (!resampled->Create(lNewWidth, lNewHeight))
        return nullptr;
    if (lNewWidth == Width() && lNewHeight == Height())
        resampled->LoadPictureBlt(hMemDC, 0, 0, -1, -1, gdi::SRCCOPY);
    else
        InterpolateInto(*resampled); // an error drops the new buffer on its way to the caller
    return resampled;
}

// Bilinear interpolation, a vertical step (rounded) and then a horizontal one (rounded again), each
// channel on its own. Destination pixel (x, y) reads source pixels xi and xi + 1 of the rows yi
// and yi + 1; the sums are formed in double from float weights.
//
// All bytes are addressed through the two bounds-tested views, but not tested one by one: each
// row tests once the runs of its two source rows and of its destination row that its columns use.
// A column whose reads would leave a source row, or a row whose next source row does not exist,
// is not computed: the row's columns before it are written and then the subscript error is
// raised, which leaves the destination exactly as a byte-by-byte walk in the same order leaves it
// when it fails.
void cDIBSection::InterpolateInto(cDIBSection& dest) const {
    const ByteView source(lBits, BytesPerScanLine(), Height());
    const ByteView target(dest.DIBSectionBitsPtr(), dest.BytesPerScanLine(), dest.Height());
    const std::int32_t destWidth = dest.Width();
    const std::int32_t destHeight = dest.Height();
    const float xScale = scaleOf(Width(), destWidth);
    const float yScale = scaleOf(Height(), destHeight);

    // The columns are the same in every row: weigh them once. Column x reads bytes
    // byte .. byte + 5 of a source row; the first column that would read past the row's end ends
    // the computable run of every row.
    std::vector<Column> columns;
    try {
        columns.resize(static_cast<std::size_t>(std::max(destWidth, 0)));
    } catch (const std::bad_alloc&) {
        platform::raise(platform::ErrOutOfMemory); // a row of millions of pixels, 24 bytes each
    }
    std::int32_t computable = 0; // columns before the first that would read out of bounds
    std::int32_t bytesRead = 0;  // bytes at the start of a source row that those columns read
    for (std::int32_t x = 0; x < destWidth; ++x) {
        const Sample sx = sampleOf(xScale, x);
        const std::int64_t byte = std::int64_t{sx.index} * 3;
        columns[x] = {static_cast<std::int32_t>(byte), 1.0 - static_cast<double>(sx.fraction),
                      static_cast<double>(sx.fraction)};
        if (computable == x && byte + 6 <= source.rowLength()) {
            computable = x + 1;
            bytesRead = std::max(bytesRead, static_cast<std::int32_t>(byte) + 6);
        }
    }

    for (std::int32_t y = 0; y < destHeight; ++y) {
        const Sample sy = sampleOf(yScale, y);
        const std::int32_t yi = sy.index;
        const std::int32_t columnsInRow = yi < source.rows() - 1 ? computable : 0;
        if (columnsInRow > 0) {
            const std::uint8_t* const top = source.span(yi, 0, bytesRead).data();
            const std::uint8_t* const next = source.span(yi + 1, 0, bytesRead).data();
            std::uint8_t* const out = target.span(y, 0, 3 * columnsInRow).data();
            const double topWeight = 1.0 - static_cast<double>(sy.fraction);
            const double nextWeight = static_cast<double>(sy.fraction);
            if (columnsInRow >= kTabledColumns)
                interpolateRow(columns.data(), columnsInRow, top, next,
                               TabledVertical(topWeight, nextWeight), out);
            else
                interpolateRow(columns.data(), columnsInRow, top, next,
                               DirectVertical(topWeight, nextWeight), out);
        }
        if (columnsInRow < destWidth)
            platform::raise(platform::ErrSubscriptOutOfRange);
    }
}
