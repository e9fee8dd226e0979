// Filling the image buffer from a 12-megapixel picture, as the batch run does once per file:
// time per CreateFromPicture with recycled pixel memory against fresh memory, next to the floor
// (a plain memcpy of the same bytes into memory already touched).
#include "bench/cli.h"
#include "bench/timing.h"
#include "image/cdibsection.h"
#include "platform/gdi/gdihandles.h"
#include "platform/gdi/pixelmemory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr int kRounds = 40;

platform::PictureDisp makePicture(int bitsPerPixel, bool topDown) {
    gdi::BITMAPINFOHEADER header;
    header.biSize = sizeof header;
    header.biWidth = kWidth;
    header.biHeight = topDown ? -kHeight : kHeight;
    header.biPlanes = 1;
    header.biBitCount = static_cast<std::uint16_t>(bitsPerPixel);
    void* bits = nullptr;
    const gdi::HBITMAP bitmap = gdi::CreateDIBSection(0, &header, gdi::DIB_RGB_COLORS, &bits, 0, 0);
    if (!bitmap)
        bench::fail(QStringLiteral("cannot make a picture of %1 x %2").arg(kWidth).arg(kHeight));
    auto* bytes = static_cast<std::uint8_t*>(bits);
    const std::size_t size = static_cast<std::size_t>(kWidth) * kHeight * bitsPerPixel / 8;
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 31 + (i >> 12));
    return std::make_shared<platform::Picture>(bitmap);
}

using bench::Sample;

template <class Body> Sample measure(Body&& body) {
    return bench::measure(kRounds, body);
}

void report(const char* what, const Sample& s) {
    std::printf("%-54s %7.2f ms wall %7.2f ms cpu %7.0f faults\n", what, s.wallMs, s.cpuMs,
                s.faults);
}

constexpr char kUsage[] =
    "bench_dibsection\n"
    "  times CreateFromPicture on a 12-megapixel picture; takes no arguments\n";

int benchmark() {
    std::printf("CreateFromPicture, %d x %d, median of %d calls\n", kWidth, kHeight, kRounds);
    const auto picture24 = makePicture(24, false);
    const std::size_t bytes = static_cast<std::size_t>(kWidth) * kHeight * 3;

    {
        std::vector<std::uint8_t> target(bytes, 1);
        gdi::BITMAP bm;
        gdi::GetObjectA(picture24->Handle(), sizeof bm, &bm);
        const auto* source = static_cast<const std::uint8_t*>(bm.bmBits);
        report("floor: memcpy into touched memory",
               measure([&] { std::memcpy(target.data(), source, bytes); }));
    }

    cDIBSection buffer;
    buffer.CreateFromPicture(picture24);
    {
        const gdi::MemoryDC dc;
        const gdi::Selection selected(dc.get(), picture24->Handle());
        report("LoadPictureBlt alone (24-bit bottom-up, buffer kept)",
               measure([&] { buffer.LoadPictureBlt(dc.get()); }));
    }

    report("CreateFromPicture, 24-bit bottom-up, recycled memory",
           measure([&] { buffer.CreateFromPicture(picture24); }));
    const int limit = gdi::recycledBlockLimit();
    gdi::setRecycledBlockLimit(0);
    report("CreateFromPicture, 24-bit bottom-up, fresh memory",
           measure([&] { buffer.CreateFromPicture(picture24); }));
    gdi::setRecycledBlockLimit(limit);

    {
        const auto topDown = makePicture(24, true);
        report("CreateFromPicture, 24-bit top-down, recycled memory",
               measure([&] { buffer.CreateFromPicture(topDown); }));
    }
    {
        const auto deep = makePicture(32, false);
        report("CreateFromPicture, 32-bit bottom-up, recycled memory",
               measure([&] { buffer.CreateFromPicture(deep); }));
    }
    buffer.ClearUp();
    std::printf("memory kept for recycling afterwards: %.1f MB (limit %d blocks)\n",
                static_cast<double>(gdi::recycledBytes()) / 1e6, gdi::recycledBlockLimit());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return bench::guarded([&] {
        bench::Arguments(argc, argv, kUsage, {}).positional(0);
        return benchmark();
    });
}
