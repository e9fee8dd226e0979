#include "platform/gdi/gdi.h"
#include "platform/gdi/gdihandles.h"
#include "support/dibs.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <tuple>
#include <vector>

using namespace gdi;
using testsupport::Dib;
using testsupport::makeDib;

namespace {

// A bitmap selected into a DC of its own for the length of a test.
struct Surface {
    explicit Surface(int width, int height, int bits, bool topDown, std::uint32_t seed)
        : dib(makeDib(width, height, bits, topDown)), owner(dib.handle),
          selection(dc.get(), dib.handle) {
        testsupport::fillNoise(dib, seed);
    }
    Dib dib;
    OwnedBitmap owner;
    MemoryDC dc;
    Selection selection;
};

// What a transfer must leave in the destination's memory, worked out bit by bit from the truth
// table with the white pattern: P = 1 in every colour bit.
std::vector<std::uint8_t> expected(const Dib& dst, const std::vector<std::uint8_t>& dstBefore,
                                   const Dib* src, const std::vector<std::uint8_t>& srcBefore,
                                   int x, int y, int w, int h, int sx, int sy, std::uint32_t code) {
    std::vector<std::uint8_t> out = dstBefore;
    const unsigned table = (code >> 16) & 0xFF;
    // An operation that never reads the source is not clipped to it.
    bool readsSource = false;
    for (unsigned p = 0; p < 2; ++p)
        for (unsigned d = 0; d < 2; ++d)
            readsSource |= ((table >> (4 * p + d)) & 1) != ((table >> (4 * p + 2 + d)) & 1);
    if (!readsSource)
        src = nullptr;
    auto offset = [](const Dib& d, int px, int py) {
        const int row = d.topDown ? py : d.height - 1 - py;
        return static_cast<std::size_t>(row) * d.stride +
               static_cast<std::size_t>(px) * (d.bitsPerPixel / 8);
    };
    // Only offsets that can land on the destination are visited (the rectangle may be huge).
    for (int j = std::max(0, -y); j < std::min(h, dst.height - y); ++j) {
        for (int i = std::max(0, -x); i < std::min(w, dst.width - x); ++i) {
            const int dx = x + i, dy = y + j, srcX = sx + i, srcY = sy + j;
            if (dx < 0 || dy < 0 || dx >= dst.width || dy >= dst.height)
                continue;
            if (src && (srcX < 0 || srcY < 0 || srcX >= src->width || srcY >= src->height))
                continue;
            const std::size_t d = offset(dst, dx, dy);
            const std::size_t s = src ? offset(*src, srcX, srcY) : 0;
            for (int byte = 0; byte < 3; ++byte) {
                std::uint8_t result = 0;
                for (int bit = 0; bit < 8; ++bit) {
                    const unsigned sBit = src ? (srcBefore[s + byte] >> bit) & 1 : 0;
                    const unsigned dBit = (dstBefore[d + byte] >> bit) & 1;
                    result |=
                        static_cast<std::uint8_t>(((table >> (4 + 2 * sBit + dBit)) & 1) << bit);
                }
                out[d + byte] = result;
            }
            if (dst.bitsPerPixel == 32) {
                const bool carried = src && src->bitsPerPixel == 32 && table == 0xCC;
                out[d + 3] = carried ? srcBefore[s + 3] : 0;
            }
        }
    }
    return out;
}

using Format = std::tuple<int, bool>; // bits per pixel, top-down
const Format kFormats[] = {{24, false}, {24, true}, {32, false}, {32, true}};

} // namespace

// Every one of the 256 operations, between every pair of depths, checked bit by bit.
TEST(BitBlt, EvaluatesEveryTernaryOperationBitByBit) {
    for (const auto& [dstBits, dstTopDown] : {kFormats[0], kFormats[3]}) {
        for (const auto& [srcBits, srcTopDown] : {kFormats[1], kFormats[2]}) {
            for (unsigned table = 0; table < 256; ++table) {
                const Surface dst(5, 3, dstBits, dstTopDown, table);
                const Surface src(4, 4, srcBits, srcTopDown, table + 1000);
                const auto before = dst.dib.bytes();
                const std::uint32_t code = table << 16;
                ASSERT_TRUE(BitBlt(dst.dc.get(), 1, 0, 4, 3, src.dc.get(), 0, 1, code));
                ASSERT_EQ(dst.dib.bytes(), expected(dst.dib, before, &src.dib, src.dib.bytes(), 1,
                                                    0, 4, 3, 0, 1, code))
                    << "operation " << table << ", " << srcBits << " to " << dstBits << " bits";
            }
        }
    }
}

struct Transfer {
    const char* what;
    int x, y, w, h, sx, sy;
    std::uint32_t code;
};

class BitBltCases : public ::testing::TestWithParam<std::tuple<Transfer, Format, Format>> {};

// The named operations, all row orders and depths, with rectangles that stick out of either bitmap.
TEST_P(BitBltCases, MatchesTheReference) {
    const auto& [t, dstFormat, srcFormat] = GetParam();
    const Surface dst(8, 6, std::get<0>(dstFormat), std::get<1>(dstFormat), 1);
    const Surface src(5, 7, std::get<0>(srcFormat), std::get<1>(srcFormat), 2);
    const auto before = dst.dib.bytes();
    EXPECT_TRUE(BitBlt(dst.dc.get(), t.x, t.y, t.w, t.h, src.dc.get(), t.sx, t.sy, t.code));
    EXPECT_EQ(dst.dib.bytes(), expected(dst.dib, before, &src.dib, src.dib.bytes(), t.x, t.y, t.w,
                                        t.h, t.sx, t.sy, t.code))
        << t.what;
}

const Transfer kTransfers[] = {
    {"whole source", 0, 0, -1 + 6, 7, 0, 0, SRCCOPY},
    {"inside both", 2, 1, 3, 4, 1, 2, SRCCOPY},
    {"past the destination's right and bottom", 6, 4, 5, 5, 0, 0, SRCCOPY},
    {"from left of and above the source", 1, 1, 4, 4, -2, -1, SRCCOPY},
    {"destination origin negative", -3, -2, 6, 6, 0, 0, SRCCOPY},
    {"no overlap at all", 9, 0, 3, 3, 0, 0, SRCCOPY},
    {"huge rectangle", -1000000, -1000000, 2000000, 2000000, -1000000, -1000000, SRCCOPY},
    {"invert", 1, 1, 5, 5, 0, 0, SRCINVERT},
    {"and", 1, 1, 5, 5, 0, 0, SRCAND},
    {"or", 0, 2, 5, 5, 0, 1, SRCPAINT},
    {"not source", 1, 0, 5, 5, 0, 0, NOTSRCCOPY},
    {"erase", 1, 0, 5, 5, 0, 0, SRCERASE},
    {"merge paint", 1, 0, 5, 5, 0, 0, MERGEPAINT},
    {"merge copy", 1, 0, 5, 5, 0, 0, MERGECOPY},
    {"pattern copy", 1, 1, 3, 3, 0, 0, PATCOPY},
    {"pattern invert", 1, 1, 3, 3, 0, 0, PATINVERT},
    {"destination invert", 0, 0, 8, 6, 0, 0, DSTINVERT},
    {"black", 2, 2, 10, 10, 0, 0, BLACKNESS},
    {"white", -1, -1, 4, 4, 0, 0, WHITENESS},
    {"zero width", 0, 0, 0, 4, 0, 0, SRCCOPY},
    {"negative height", 0, 0, 4, -4, 0, 0, WHITENESS},
};

INSTANTIATE_TEST_SUITE_P(Operations, BitBltCases,
                         ::testing::Combine(::testing::ValuesIn(kTransfers),
                                            ::testing::ValuesIn(kFormats),
                                            ::testing::ValuesIn(kFormats)));

// Row by row, in one block, or converted: a plain copy of whole bitmaps gives the same pixels.
TEST(BitBlt, PlainCopyOfWholeBitmapsKeepsEveryColour) {
    for (const int width : {4, 5, 8}) {
        for (const auto& [dstBits, dstTopDown] : kFormats) {
            for (const auto& [srcBits, srcTopDown] : kFormats) {
                const Surface dst(width, 9, dstBits, dstTopDown, 3);
                const Surface src(width, 9, srcBits, srcTopDown, 4);
                ASSERT_TRUE(BitBlt(dst.dc.get(), 0, 0, width, 9, src.dc.get(), 0, 0, SRCCOPY));
                for (int y = 0; y < 9; ++y)
                    for (int x = 0; x < width; ++x)
                        ASSERT_EQ(dst.dib.colour(x, y), src.dib.colour(x, y))
                            << x << "," << y << " " << srcBits << (srcTopDown ? "td" : "bu")
                            << " to " << dstBits << (dstTopDown ? "td" : "bu");
            }
        }
    }
}

TEST(BitBlt, OperationsWithoutSourceNeedNoSourceDc) {
    const Surface dst(4, 4, 24, false, 5);
    const auto before = dst.dib.bytes();
    EXPECT_TRUE(BitBlt(dst.dc.get(), 0, 0, 4, 4, 0, 0, 0, DSTINVERT));
    EXPECT_EQ(dst.dib.bytes(), expected(dst.dib, before, nullptr, {}, 0, 0, 4, 4, 0, 0, DSTINVERT));
    EXPECT_FALSE(BitBlt(dst.dc.get(), 0, 0, 4, 4, 0, 0, 0, SRCCOPY));
    EXPECT_FALSE(BitBlt(0, 0, 0, 4, 4, dst.dc.get(), 0, 0, SRCCOPY));
}

TEST(BitBlt, OverlappingRectanglesInOneBitmapReadTheOriginalPixels) {
    for (const auto& [bits, topDown] : kFormats) {
        for (const auto& [dx, dy] : {std::pair{1, 1}, std::pair{-1, -2}, std::pair{2, 0}}) {
            const Surface s(7, 6, bits, topDown, 6);
            const auto before = s.dib.bytes();
            ASSERT_TRUE(BitBlt(s.dc.get(), 1 + dx, 2 + dy, 5, 4, s.dc.get(), 1, 2, SRCINVERT));
            EXPECT_EQ(s.dib.bytes(), expected(s.dib, before, &s.dib, before, 1 + dx, 2 + dy, 5, 4,
                                              1, 2, SRCINVERT));
            const auto middle = s.dib.bytes();
            ASSERT_TRUE(BitBlt(s.dc.get(), 1 + dx, 2 + dy, 5, 4, s.dc.get(), 1, 2, SRCCOPY));
            EXPECT_EQ(s.dib.bytes(),
                      expected(s.dib, middle, &s.dib, middle, 1 + dx, 2 + dy, 5, 4, 1, 2, SRCCOPY));
        }
    }
}
