#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace bench {

namespace detail {

inline float hash(int x, int y, int s) {
    std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u +
                      static_cast<std::uint32_t>(y) * 668265263u +
                      static_cast<std::uint32_t>(s) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<float>((h ^ (h >> 16)) & 0xFFFF) / 65535.0f;
}

// Smoothly interpolated lattice noise in [0, 1].
inline float valueNoise(float x, float y, int s) {
    const int xi = static_cast<int>(x);
    const int yi = static_cast<int>(y);
    float fx = x - static_cast<float>(xi);
    float fy = y - static_cast<float>(yi);
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    const float a = hash(xi, yi, s), b = hash(xi + 1, yi, s);
    const float c = hash(xi, yi + 1, s), d = hash(xi + 1, yi + 1, s);
    return a + (b - a) * fx + (c - a) * fy + (a - b - c + d) * fx * fy;
}

// Octaves of value noise from `frequency` up, each 2.1 times finer and `falloff` times weaker.
inline float octaves(float x, float y, int s, float frequency, int count, float falloff) {
    float sum = 0, amplitude = 1;
    for (int octave = 0; octave < count; ++octave) {
        sum += amplitude * (valueNoise(x * frequency, y * frequency, s + octave) - 0.5f);
        amplitude *= falloff;
        frequency *= 2.1f;
    }
    return sum;
}

} // namespace detail

// A picture with the detail of a photograph, so that it codes like one: smooth shading over a
// few hundred sharp-edged objects (trunks, walls, leaves: edges in every direction), fine texture
// down to single pixels in the textured regions (foliage, grass) beside smooth ones (sky),
// colour detail at full resolution, and sensor noise in brightness and colour.
// Each seed gives another picture. Red, green, blue; rows top-down.
inline std::vector<std::uint8_t> photoLikePicture(int width, int height, int seed) {
    using detail::octaves;
    using detail::valueNoise;
    std::vector<float> base(static_cast<std::size_t>(width) * height * 3);
    const auto at = [&](int x, int y) {
        return &base[(static_cast<std::size_t>(y) * width + x) * 3];
    };

    // Shading and large forms: three colour channels of coarse noise and a gradient.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float fx = static_cast<float>(x), fy = static_cast<float>(y);
            const float light = 60.0f * (fx + fy) / static_cast<float>(width + height);
            float* pixel = at(x, y);
            for (int c = 0; c < 3; ++c)
                pixel[c] =
                    120 + light + 110 * octaves(fx, fy, seed * 100 + c * 10, 1.0f / 500, 4, 0.6f);
        }

    // Objects with hard edges: discs, tilted bars and thin twigs, each of one colour with its own
    // shading.
    std::mt19937 generator(static_cast<std::uint32_t>(seed));
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const int objects = width * height / 40000;
    for (int i = 0; i < objects; ++i) {
        const float cx = unit(generator) * static_cast<float>(width);
        const float cy = unit(generator) * static_cast<float>(height);
        const float size = 4 + std::pow(unit(generator), 3.0f) * static_cast<float>(width) / 6;
        const float angle = unit(generator) * 3.14159f;
        const int kind = static_cast<int>(unit(generator) * 3);
        const float thickness =
            kind == 2 ? 1 + unit(generator) * 3 : size * (0.1f + unit(generator) * 0.4f);
        const float colour[3] = {unit(generator) * 255, unit(generator) * 255,
                                 unit(generator) * 255};
        const float dx = std::cos(angle), dy = std::sin(angle);
        const int x0 = std::max(0, static_cast<int>(cx - size)),
                  x1 = std::min(width, static_cast<int>(cx + size) + 1);
        const int y0 = std::max(0, static_cast<int>(cy - size)),
                  y1 = std::min(height, static_cast<int>(cy + size) + 1);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const float px = static_cast<float>(x) - cx, py = static_cast<float>(y) - cy;
                const float along = px * dx + py * dy, across = -px * dy + py * dx;
                const bool inside = kind == 0
                                        ? px * px + py * py < size * size
                                        : std::abs(along) < size && std::abs(across) < thickness;
                if (!inside)
                    continue;
                float* pixel = at(x, y);
                const float shade = 0.75f + 0.25f * along / size;
                for (int c = 0; c < 3; ++c)
                    pixel[c] = colour[c] * shade;
            }
    }

    // Fine texture where the region is textured, colour detail, then the sensor's noise.
    std::normal_distribution<float> grain(0.0f, 1.0f);
    std::vector<std::uint8_t> rgb(base.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float fx = static_cast<float>(x), fy = static_cast<float>(y);
            const float region =
                std::clamp(valueNoise(fx / 300, fy / 300, seed * 7 + 1) * 3 - 1, 0.0f, 1.0f);
            const float texture = region * 70 * octaves(fx, fy, seed * 13, 1.0f / 9, 3, 0.8f);
            const float hue = region * 24 * (valueNoise(fx / 3, fy / 3, seed * 17) - 0.5f);
            const float luma = texture + 4 * grain(generator);
            const float* pixel = at(x, y);
            std::uint8_t* out = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            const float chroma[3] = {hue, -hue / 2, 0};
            for (int c = 0; c < 3; ++c)
                out[c] = static_cast<std::uint8_t>(
                    std::clamp(pixel[c] + luma + chroma[c] + 2 * grain(generator), 0.0f, 255.0f));
        }
    return rgb;
}

} // namespace bench
