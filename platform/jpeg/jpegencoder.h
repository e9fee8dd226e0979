#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace platform {

enum class ChromaSampling {
    Full,               // 4:4:4
    HalfHorizontal,     // 4:2:2
    HalfBothDirections, // 4:2:0
};

// One picture to encode: blue-green-red pixels, 3 bytes each, read in place.
struct JpegEncodeJob {
    const std::uint8_t* topRow; // the first byte of the picture's top row
    std::ptrdiff_t rowStep;     // bytes from one row to the row below it; negative for bottom-up
    std::int32_t width;         // 1 to 65500
    std::int32_t height;        // 1 to 65500
    std::int32_t quality;       // 1 to 100; values outside count as the nearest end
    ChromaSampling sampling;
};

// Where the encoded bytes go.
class JpegSink {
public:
    // Takes all of bytes, or returns false (the encoding then stops).
    virtual bool write(std::span<const std::uint8_t> bytes) noexcept = 0;

protected:
    ~JpegSink() = default;
};

enum class JpegEncodeResult { Ok, OutOfMemory, WriteFailed, EncoderFailed };

// Encodes job as a baseline YCbCr JPEG with Huffman tables optimised for the picture, handing the
// bytes to sink in pieces of buffer's size (buffer must not be empty). Reports every failure of
// the encoder as a result; it never ends the process.
JpegEncodeResult encodeJpeg(const JpegEncodeJob& job, JpegSink& sink,
                            std::span<std::uint8_t> buffer) noexcept;

} // namespace platform
