#pragma once

#include "image/byteview.h"
#include "image/cdibsection.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>

// The resampling written the plain way, one bounds-tested byte at a time, for tests and benchmarks
// to measure cDIBSection::Resample against. Header-only so that benchmarks can use it too.
namespace testsupport {

inline void referenceInterpolate(const cDIBSection& source, cDIBSection& dest) {
    const ByteView src(source.DIBSectionBitsPtr(), source.BytesPerScanLine(), source.Height());
    const ByteView dst(dest.DIBSectionBitsPtr(), dest.BytesPerScanLine(), dest.Height());
    const float xScale =
        static_cast<float>((static_cast<double>(source.Width()) - 1) / dest.Width());
    const float yScale =
        static_cast<float>((static_cast<double>(source.Height()) - 1) / dest.Height());
    for (std::int32_t y = 0; y < dest.Height(); ++y) {
        const float sy = static_cast<float>(static_cast<double>(yScale) * y);
        const auto yi = static_cast<std::int32_t>(std::floor(sy));
        const float fy = static_cast<float>(static_cast<double>(sy) - yi);
        for (std::int32_t x = 0; x < dest.Width(); ++x) {
            const float sx = static_cast<float>(static_cast<double>(xScale) * x);
            const auto xi = static_cast<std::int32_t>(std::floor(sx));
            const float fx = static_cast<float>(static_cast<double>(sx) - xi);
            const std::int32_t xb = 3 * xi;
            float value[12];
            for (int k = 0; k < 6; ++k)
                value[k] = src(xb + k, yi);
            for (int k = 0; k < 6; ++k)
                value[6 + k] = src(xb + k, yi + 1);
            std::int32_t m[6];
            for (int k = 0; k < 6; ++k)
                m[k] = static_cast<std::int32_t>(
                    std::nearbyint((1.0 - static_cast<double>(fy)) * value[k] +
                                   static_cast<double>(fy) * value[6 + k]));
            for (int c = 0; c < 3; ++c) {
                const auto out = static_cast<std::int32_t>(std::nearbyint(
                    (1.0 - static_cast<double>(fx)) * m[c] + static_cast<double>(fx) * m[c + 3]));
                dst(3 * x + c, y) = static_cast<std::uint8_t>(std::clamp(out, 0, 255));
            }
        }
    }
}

inline std::shared_ptr<cDIBSection> referenceResample(const cDIBSection& source,
                                                      std::int32_t height, std::int32_t width) {
    auto resampled = std::make_shared<cDIBSection>();
    if (!resampled->Create(width, height))
        return nullptr;
    if (width == source.Width() && height == source.Height())
        resampled->LoadPictureBlt(source.hdc());
    else
        referenceInterpolate(source, *resampled);
    return resampled;
}

} // namespace testsupport
