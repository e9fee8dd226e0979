#pragma once

// The floor of a conversion: the least any program must do for the same file. It reads the file,
// decodes it with libjpeg-turbo into a reused 24-bit buffer, encodes it with the program's
// settings (4:2:0, optimised Huffman tables, the fast DCT below quality 90) into a reused output
// buffer and writes that.

#include "bench/cli.h"

#include <QFile>
#include <cstdint>
#include <cstdio>
#include <jpeglib.h>
#include <memory>
#include <turbojpeg.h>
#include <vector>

namespace bench {

// Compresses 24-bit blue-green-red rows lying bottom-up, `stride` bytes apart, with the program's
// settings (4:2:0, optimised Huffman tables unless told otherwise, the fast DCT below quality 90)
// to the destination set on cinfo.
inline void compressBottomUp(jpeg_compress_struct& cinfo, const std::uint8_t* pixels,
                             std::size_t stride, int width, int height, int quality,
                             bool optimise = true) {
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.optimize_coding = optimise ? TRUE : FALSE;
    cinfo.dct_method = quality < 90 ? JDCT_IFAST : JDCT_ISLOW;
    jpeg_start_compress(&cinfo, TRUE);
    JSAMPROW rows[16];
    while (cinfo.next_scanline < cinfo.image_height) {
        JDIMENSION n = 0;
        for (; n < 16 && cinfo.next_scanline + n < cinfo.image_height; ++n)
            rows[n] = const_cast<JSAMPROW>(pixels + stride * (static_cast<std::size_t>(height) - 1 -
                                                              (cinfo.next_scanline + n)));
        jpeg_write_scanlines(&cinfo, rows, n);
    }
    jpeg_finish_compress(&cinfo);
}

class Floor {
public:
    static constexpr std::size_t kHeaderRoom = std::size_t{1} << 16;

    explicit Floor(int quality) : quality_(quality), decoder_(tjInitDecompress(), tjDestroy) {
        if (!decoder_)
            fail(QStringLiteral("the floor has no decoder"));
    }

    void convert(const QString& from, const QString& to) {
        using File = std::unique_ptr<FILE, int (*)(FILE*)>;
        {
            const File in(std::fopen(QFile::encodeName(from).constData(), "rb"), std::fclose);
            if (!in)
                fail(QStringLiteral("the floor cannot open %1").arg(from));
            std::fseek(in.get(), 0, SEEK_END);
            input_.resize(static_cast<std::size_t>(std::ftell(in.get())));
            std::fseek(in.get(), 0, SEEK_SET);
            if (std::fread(input_.data(), 1, input_.size(), in.get()) != input_.size())
                fail(QStringLiteral("the floor cannot read %1").arg(from));
        }

        int width = 0, height = 0, sampling = 0, colourspace = 0;
        if (tjDecompressHeader3(decoder_.get(), input_.data(), input_.size(), &width, &height,
                                &sampling, &colourspace) != 0)
            fail(QStringLiteral("%1 is no JPEG file").arg(from));
        const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
        pixels_.resize(stride * static_cast<std::size_t>(height));
        if (tjDecompress2(decoder_.get(), input_.data(), input_.size(), pixels_.data(), width,
                          static_cast<int>(stride), height, TJPF_BGR, TJFLAG_BOTTOMUP) != 0)
            fail(QStringLiteral("the floor cannot decode %1").arg(from));

        const std::size_t size = encode(width, height, stride);
        const File out(std::fopen(QFile::encodeName(to).constData(), "wb"), std::fclose);
        if (!out || std::fwrite(output_.get(), 1, size, out.get()) != size)
            fail(QStringLiteral("the floor cannot write %1").arg(to));
    }

private:
    std::size_t encode(int width, int height, std::size_t stride) {
        // Room for the largest output a picture of this size can have, made once; only the pages
        // written to are ever touched.
        if (outputSize_ < pixels_.size() + kHeaderRoom) {
            outputSize_ = pixels_.size() + kHeaderRoom;
            output_ = std::make_unique_for_overwrite<std::uint8_t[]>(outputSize_);
        }
        jpeg_compress_struct cinfo{};
        jpeg_error_mgr err{};
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_compress(&cinfo);
        unsigned char* buffer = output_.get();
        unsigned long size = outputSize_;
        jpeg_mem_dest(&cinfo, &buffer, &size);
        compressBottomUp(cinfo, pixels_.data(), stride, width, height, quality_);
        jpeg_destroy_compress(&cinfo);
        if (buffer != output_.get())
            fail(QStringLiteral("the floor's output buffer was too small"));
        return size;
    }

    int quality_;
    std::unique_ptr<void, int (*)(void*)> decoder_;
    std::vector<std::uint8_t> input_;
    std::vector<std::uint8_t> pixels_;
    std::unique_ptr<std::uint8_t[]> output_;
    std::size_t outputSize_ = 0;
};

} // namespace bench
