// Resampling a photo-sized image buffer: time per Resample call (median of several) for shrinking
// a 12-megapixel buffer and for enlarging a small one, next to the plain byte-by-byte version of
// the same arithmetic and to the floor of making the new buffer alone. Each result is checked
// against the plain version's, byte for byte.
#include "bench/cli.h"
#include "bench/timing.h"
#include "image/cdibsection.h"
#include "tests/support/referenceresample.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

using bench::measure;
using bench::Sample;

void report(const char* what, const Sample& s) {
    std::printf("  %-34s %8.2f ms wall %8.2f ms cpu\n", what, s.wallMs, s.cpuMs);
}

std::unique_ptr<cDIBSection> noise(int width, int height) {
    auto buffer = std::make_unique<cDIBSection>();
    if (!buffer->Create(width, height))
        bench::fail(QStringLiteral("cannot make a %1 x %2 buffer").arg(width).arg(height));
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
    if (!expected || !actual || !sameBytes(*expected, *actual))
        bench::fail(QStringLiteral("Resample differs from the byte-by-byte version"));
    report("new buffer alone (floor)", measure(rounds, [&] {
               cDIBSection buffer;
               buffer.Create(width, height);
           }));
    report("Resample", measure(rounds, [&] { source.Resample(height, width); }));
    report("byte-by-byte version", measure(referenceRounds, [&] {
               testsupport::referenceResample(source, height, width);
           }));
}

constexpr char kUsage[] = "bench_resample [rounds]\n"
                          "  rounds  calls per median (default 11)\n";

int benchmark(int argc, char** argv) {
    const bench::Arguments arguments(argc, argv, kUsage, {});
    const QStringList& positional = arguments.positional(1);
    const int rounds = positional.isEmpty()
                           ? 11
                           : arguments.wholeNumber(positional[0], QStringLiteral("rounds"), 1);
    const int referenceRounds = std::max(1, rounds / 2) | 1;
    std::printf("medians of %d calls (%d for the byte-by-byte version)\n", rounds, referenceRounds);
    const auto photo = noise(4000, 3000);
    run(*photo, 1920, 1440, rounds, referenceRounds);
    run(*photo, 1440, 1920, rounds, referenceRounds);
    const auto small = noise(800, 600);
    run(*small, 1920, 1440, rounds, referenceRounds);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return bench::guarded([&] { return benchmark(argc, argv); });
}
