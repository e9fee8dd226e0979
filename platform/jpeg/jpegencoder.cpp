#include "platform/jpeg/jpegencoder.h"

#include <csetjmp>
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>

namespace platform {

namespace {

// The encoder's error manager: instead of ending the process it jumps back into
// compressProtected(), which reports the failure.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void leaveOnError(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings stay quiet: a library does not write to the program's stderr.
void ignoreMessage(j_common_ptr) {}

// Hands the encoded bytes to the sink each time the buffer fills, and the rest at the end.
struct Destination {
    jpeg_destination_mgr pub;
    JpegSink* sink;
    std::span<std::uint8_t> buffer;
};

Destination& destinationOf(j_compress_ptr cinfo) {
    return *reinterpret_cast<Destination*>(cinfo->dest);
}

void startBuffer(j_compress_ptr cinfo) {
    Destination& dest = destinationOf(cinfo);
    dest.pub.next_output_byte = dest.buffer.data();
    dest.pub.free_in_buffer = dest.buffer.size();
}

void emit(j_compress_ptr cinfo, std::size_t count) {
    Destination& dest = destinationOf(cinfo);
    if (!dest.sink->write(dest.buffer.first(count)))
        ERREXIT(cinfo, JERR_FILE_WRITE);
}

boolean emptyBuffer(j_compress_ptr cinfo) {
    emit(cinfo, destinationOf(cinfo).buffer.size());
    startBuffer(cinfo);
    return TRUE;
}

void finishBuffer(j_compress_ptr cinfo) {
    const Destination& dest = destinationOf(cinfo);
    emit(cinfo, dest.buffer.size() - dest.pub.free_in_buffer);
}

// One MCU row at 4:2:0: the most rows the encoder takes in one go.
constexpr JDIMENSION kRowsPerCall = 16;

// Everything that can jump out on an error runs here. It holds no object with a destructor (a
// longjmp would skip it); the caller destroys the codec on every path.
JpegEncodeResult compressProtected(jpeg_compress_struct& cinfo, ErrorManager& err,
                                   Destination& dest, const JpegEncodeJob& job) {
    if (setjmp(err.jump) != 0) {
        switch (err.pub.msg_code) {
        case JERR_OUT_OF_MEMORY:
            return JpegEncodeResult::OutOfMemory;
        case JERR_FILE_WRITE:
            return JpegEncodeResult::WriteFailed;
        default:
            return JpegEncodeResult::EncoderFailed;
        }
    }
    jpeg_create_compress(&cinfo);
    cinfo.dest = &dest.pub;
    cinfo.image_width = static_cast<JDIMENSION>(job.width);
    cinfo.image_height = static_cast<JDIMENSION>(job.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo); // YCbCr, 4:2:0, baseline Huffman coding
    jpeg_set_quality(&cinfo, job.quality, TRUE);
    cinfo.optimize_coding = TRUE;
    // Below 90 the fast DCT's rounding error is far smaller than what quantisation discards, it
    // is the quickest, and it gives the same bytes as the common tools at the same quality; from
    // 90 on its inaccuracy starts to show, so the exact one takes over.
    cinfo.dct_method = job.quality < 90 ? JDCT_IFAST : JDCT_ISLOW;
    const int luminanceColumns = job.sampling == ChromaSampling::Full ? 1 : 2;
    const int luminanceRows = job.sampling == ChromaSampling::HalfBothDirections ? 2 : 1;
    cinfo.comp_info[0].h_samp_factor = luminanceColumns;
    cinfo.comp_info[0].v_samp_factor = luminanceRows;
    jpeg_start_compress(&cinfo, TRUE);

    JSAMPROW rows[kRowsPerCall];
    while (cinfo.next_scanline < cinfo.image_height) {
        JDIMENSION count = 0;
        for (; count < kRowsPerCall && cinfo.next_scanline + count < cinfo.image_height; ++count) {
            const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(cinfo.next_scanline + count);
            // The encoder only reads its input rows; the API merely lacks the const.
            rows[count] = const_cast<JSAMPROW>(job.topRow + row * job.rowStep);
        }
        jpeg_write_scanlines(&cinfo, rows, count);
    }
    jpeg_finish_compress(&cinfo);
    return JpegEncodeResult::Ok;
}

} // namespace

JpegEncodeResult encodeJpeg(const JpegEncodeJob& job, JpegSink& sink,
                            std::span<std::uint8_t> buffer) noexcept {
    if (buffer.empty())
        return JpegEncodeResult::EncoderFailed;
    // Zeroed, so that destroying it is safe even when creating it failed half-way.
    jpeg_compress_struct cinfo{};
    ErrorManager err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = leaveOnError;
    err.pub.output_message = ignoreMessage;
    Destination dest{};
    dest.pub.init_destination = startBuffer;
    dest.pub.empty_output_buffer = emptyBuffer;
    dest.pub.term_destination = finishBuffer;
    dest.sink = &sink;
    dest.buffer = buffer;

    const JpegEncodeResult result = compressProtected(cinfo, err, dest, job);
    jpeg_destroy_compress(&cinfo);
    return result;
}

} // namespace platform
