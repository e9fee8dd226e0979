// Resampling a photo-sized image buffer: time per Resample call (median of several) for shrinking
// a 12-megapixel buffer and for enlarging a small one, next to the plain byte-by-byte version of
// the same arithmetic and to the floor of making the new buffer alone. Each result is checked
// against the plain version's, byte for byte.
#include "image/cdibsection.h"
#include "tests/support/referenceresample.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

namespace {

struct Sample {
    double wallMs, cpuMs;
};

double cpuNowMs() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Medians of wall-clock and processor time; the machine may be shared, so processor time is the
// steadier figure.
template <class Body> Sample measure(int rounds, Body&& body) {
    std::vector<double> wall, cpu;
    for (int i = 0; i < rounds; ++i) {
        const double cpuBefore = cpuNowMs();
        const auto start = std::chrono::steady_clock::now();
        body();
        wall.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        cpu.push_back(cpuNowMs() - cpuBefore);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

void report(const char* what, const Sample& s) {
    std::printf("  %-34s %8.2f ms wall %8.2f ms cpu\n", what, s.wallMs, s.cpuMs);
}

std::unique_ptr<cDIBSection> noise(int width, int height) {
    auto buffer = std::make_unique<cDIBSection>();
    if (!buffer->Create(width, height)) {
        std::fprintf(stderr, "cannot make a %d x %d buffer\n", width, height);
        std::exit(1);
    }
    std::mt19937 random(width * 7919 + height);
    std::uint8_t* bits = buffer->DIBSectionBitsPtr();
    const std::size_t size = static_cast<std::size_t>(buffer->BytesPerScanLine()) * height;
    for (std::size_t i = 0; i < size; i += 4) {
        const std::uint32_t r = random();
        std::memcpy(bits + i, &r, std::min<std::size_t>(4, size - i));
    }
    return buffer;
}

bool sameBytes(const cDIBSection& a, const cDIBSection& b) {
    const std::size_t size = static_cast<std::size_t>(a.BytesPerScanLine()) * a.Height();
    return a.Width() == b.Width() && a.Height() == b.Height() &&
           std::memcmp(a.DIBSectionBitsPtr(), b.DIBSectionBitsPtr(), size) == 0;
}

void run(const cDIBSection& source, int width, int height, int rounds, int referenceRounds) {
    std::printf("%d x %d -> %d x %d\n", source.Width(), source.Height(), width, height);
    const auto expected = testsupport::referenceResample(source, height, width);
    const auto actual = source.Resample(height, width);
    if (!expected || !actual || !sameBytes(*expected, *actual)) {
        std::fprintf(stderr, "Resample differs from the byte-by-byte version\n");
        std::exit(1);
    }
    report("new buffer alone (floor)", measure(rounds, [&] {
               cDIBSection buffer;
               buffer.Create(width, height);
           }));
    report("Resample", measure(rounds, [&] { source.Resample(height, width); }));
    report("byte-by-byte version", measure(referenceRounds, [&] {
               testsupport::referenceResample(source, height, width);
           }));
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
    const int referenceRounds = std::max(1, rounds / 2) | 1;
    std::printf("medians of %d calls (%d for the byte-by-byte version)\n", rounds, referenceRounds);
    const auto photo = noise(4000, 3000);
    run(*photo, 1920, 1440, rounds, referenceRounds);
    run(*photo, 1440, 1920, rounds, referenceRounds);
    const auto small = noise(800, 600);
    run(*small, 1920, 1440, rounds, referenceRounds);
    return 0;
}
