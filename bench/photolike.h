#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace bench {

// A picture that compresses like a photo: smooth value noise over several octaves, a soft
// gradient and sensor-like grain. Each seed gives another picture. Red, green, blue; rows top-down.
inline std::vector<std::uint8_t> photoLikePicture(int width, int height, int seed) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    const auto hash = [](int x, int y, int s) {
        std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u +
                          static_cast<std::uint32_t>(y) * 668265263u +
                          static_cast<std::uint32_t>(s) * 2246822519u;
        h = (h ^ (h >> 13)) * 1274126177u;
        return static_cast<float>((h ^ (h >> 16)) & 0xFFFF) / 65535.0f;
    };
    const auto valueNoise = [&](float x, float y, int s) {
        const int xi = static_cast<int>(x);
        const int yi = static_cast<int>(y);
        float fx = x - static_cast<float>(xi);
        float fy = y - static_cast<float>(yi);
        fx = fx * fx * (3 - 2 * fx);
        fy = fy * fy * (3 - 2 * fy);
        const float a = hash(xi, yi, s), b = hash(xi + 1, yi, s);
        const float c = hash(xi, yi + 1, s), d = hash(xi + 1, yi + 1, s);
        return a + (b - a) * fx + (c - a) * fy + (a - b - c + d) * fx * fy;
    };
    std::mt19937 generator(static_cast<std::uint32_t>(seed));
    std::normal_distribution<float> grain(0.0f, 8.0f);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            float channel[3];
            for (int c = 0; c < 3; ++c) {
                float sum = 0, amplitude = 1, frequency = 1.0f / 400;
                for (int octave = 0; octave < 6; ++octave) {
                    sum += amplitude * valueNoise(static_cast<float>(x) * frequency,
                                                  static_cast<float>(y) * frequency,
                                                  seed * 100 + c * 10 + octave);
                    amplitude *= 0.7f;
                    frequency *= 2.1f;
                }
                channel[c] = sum;
            }
            const float gradient = 60.0f * static_cast<float>(x + y) / (width + height);
            std::uint8_t* pixel = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            for (int c = 0; c < 3; ++c) {
                const float value =
                    (0.6f * channel[c] + 0.4f * channel[1]) * 100 + gradient + grain(generator);
                pixel[c] = static_cast<std::uint8_t>(std::clamp(value, 0.0f, 255.0f));
            }
        }
    }
    return rgb;
}

} // namespace bench
