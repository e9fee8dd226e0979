#include "platform/jpeg/ijl.h"

#include "platform/files/replacingfile.h"
#include "platform/jpeg/jpegencoder.h"

#include <atomic>
#include <cstring>
#include <new>
#include <span>

namespace ijl {

namespace {

// The state area holds a tag that says ijlInit prepared the record, then the encoder's output
// buffer: the record lives as long as the write, so the buffer costs no allocation. Larger
// buffers measured no faster (the bytes go to the page cache in any case).
constexpr std::uint64_t kPreparedTag = 0x314c'4a49'4b4c'4d52;
constexpr std::size_t kTagSize = sizeof(kPreparedTag);
constexpr std::size_t kOutputBufferSize = 16384;
static_assert(kTagSize + kOutputBufferSize <= sizeof(JPEG_CORE_PROPERTIES::state));

// The largest width and height a JPEG file can hold (the encoder's limit).
constexpr std::int32_t kMaxDimension = 65500;
constexpr std::int32_t kMaxPadBytes = 3;
constexpr std::int32_t kDefaultQuality = 75;

std::atomic<int> liveRecords{0};
std::atomic<std::int32_t> initFailure{IJL_OK};

hooks::WriteObserver& writeObserver() {
    static hooks::WriteObserver observer;
    return observer;
}

std::uint64_t tagOf(const JPEG_CORE_PROPERTIES& props) {
    std::uint64_t tag = 0;
    std::memcpy(&tag, props.state, kTagSize);
    return tag;
}

void setTag(JPEG_CORE_PROPERTIES& props, std::uint64_t tag) {
    std::memcpy(props.state, &tag, kTagSize);
}

std::span<std::uint8_t> outputBuffer(JPEG_CORE_PROPERTIES& props) {
    return {reinterpret_cast<std::uint8_t*>(props.state + kTagSize), kOutputBufferSize};
}

bool isSubsampling(IJL_SUBSAMPLING value) {
    return value == IJL_NONE || value == IJL_411 || value == IJL_422;
}

// IJL_OK when the record describes pixels and a file that a whole-image write can handle.
IJLERR checkWholeImageWrite(const JPEG_CORE_PROPERTIES& props) {
    if (props.DIBChannels != 3 || props.DIBColor != IJL_BGR || props.JPGChannels != 3 ||
        props.JPGColor != IJL_YCBCR)
        return IJL_UNSUPPORTED_BYTES_PER_PIXEL;
    if (props.DIBSubsampling != IJL_NONE || !isSubsampling(props.JPGSubsampling))
        return IJL_UNSUPPORTED_SUBSAMPLING;
    if (props.DIBBytes == nullptr)
        return IJL_INVALID_JPEG_PROPERTIES;
    if (props.DIBWidth < 1 || props.DIBWidth > kMaxDimension || props.DIBHeight == 0 ||
        props.DIBHeight < -kMaxDimension || props.DIBHeight > kMaxDimension)
        return IJL_INVALID_JPEG_PROPERTIES;
    if (props.DIBPadBytes < 0 || props.DIBPadBytes > kMaxPadBytes)
        return IJL_INVALID_JPEG_PROPERTIES;
    const std::int32_t height = props.DIBHeight < 0 ? -props.DIBHeight : props.DIBHeight;
    if (props.JPGWidth != props.DIBWidth || props.JPGHeight != height)
        return IJL_INVALID_JPEG_PROPERTIES;
    if (props.JPGFile == nullptr || props.JPGFile[0] == '\0' ||
        props.JPGFile[std::strlen(props.JPGFile) - 1] == '/')
        return IJL_INVALID_FILENAME;
    return IJL_OK;
}

platform::ChromaSampling samplingOf(IJL_SUBSAMPLING value) {
    switch (value) {
    case IJL_NONE:
        return platform::ChromaSampling::Full;
    case IJL_422:
        return platform::ChromaSampling::HalfHorizontal;
    case IJL_411:
        break;
    }
    return platform::ChromaSampling::HalfBothDirections;
}

// The encoder's view of a checked record: it takes the picture's rows from the top down.
platform::JpegEncodeJob jobOf(const JPEG_CORE_PROPERTIES& props) {
    const std::ptrdiff_t stride = std::ptrdiff_t{props.DIBWidth} * 3 + props.DIBPadBytes;
    const bool bottomUp = props.DIBHeight < 0;
    const std::int32_t height = bottomUp ? -props.DIBHeight : props.DIBHeight;
    return {
        .topRow = bottomUp ? props.DIBBytes + stride * (height - 1) : props.DIBBytes,
        .rowStep = bottomUp ? -stride : stride,
        .width = props.DIBWidth,
        .height = height,
        .quality = props.jquality,
        .sampling = samplingOf(props.JPGSubsampling),
    };
}

class FileSink final : public platform::JpegSink {
public:
    explicit FileSink(platform::ReplacingFile& file) noexcept : file_(file) {}
    bool write(std::span<const std::uint8_t> bytes) noexcept override { return file_.write(bytes); }

private:
    platform::ReplacingFile& file_;
};

IJLERR writeWholeImage(JPEG_CORE_PROPERTIES& props) {
    platform::ReplacingFile file(props.JPGFile);
    if (!file.open())
        return IJL_FILE_ERROR;
    FileSink sink(file);
    switch (platform::encodeJpeg(jobOf(props), sink, outputBuffer(props))) {
    case platform::JpegEncodeResult::Ok:
        break;
    case platform::JpegEncodeResult::OutOfMemory:
        return IJL_MEMORY_ERROR;
    case platform::JpegEncodeResult::WriteFailed:
        return IJL_FILE_ERROR;
    case platform::JpegEncodeResult::EncoderFailed:
        return IJL_EXCEPTION_DETECTED;
    }
    if (!file.close())
        return IJL_ERR_FILECLOSE;
    if (!file.replaceTarget())
        return IJL_FILE_ERROR;
    return IJL_OK;
}

} // namespace

IJLERR ijlInit(JPEG_CORE_PROPERTIES* props) {
    if (props == nullptr)
        return IJL_INVALID_JPEG_PROPERTIES;
    if (const std::int32_t failure = initFailure.load(); failure != IJL_OK)
        return static_cast<IJLERR>(failure);
    const bool wasPrepared = tagOf(*props) == kPreparedTag;
    std::memset(static_cast<void*>(props), 0, sizeof(*props));
    props->DIBChannels = 3;
    props->DIBColor = IJL_BGR;
    props->DIBSubsampling = IJL_NONE;
    props->JPGChannels = 3;
    props->JPGColor = IJL_YCBCR;
    props->JPGSubsampling = IJL_411;
    props->jquality = kDefaultQuality;
    setTag(*props, kPreparedTag);
    if (!wasPrepared)
        ++liveRecords;
    return IJL_OK;
}

IJLERR ijlWrite(JPEG_CORE_PROPERTIES* props, IJLIOTYPE iotype) {
    if (props == nullptr)
        return IJL_INVALID_JPEG_PROPERTIES;
    if (const hooks::WriteObserver& observer = writeObserver())
        observer(*props, iotype);
    if (tagOf(*props) != kPreparedTag)
        return IJL_INVALID_JPEG_PROPERTIES;
    if (iotype != IJL_JFILE_WRITEWHOLEIMAGE)
        return IJL_UNSUPPORTED_MODE;
    if (const IJLERR fault = checkWholeImageWrite(*props); fault != IJL_OK)
        return fault;
    try {
        return writeWholeImage(*props);
    } catch (const std::bad_alloc&) {
        return IJL_MEMORY_ERROR;
    }
}

IJLERR ijlFree(JPEG_CORE_PROPERTIES* props) {
    if (props == nullptr || tagOf(*props) != kPreparedTag)
        return IJL_INVALID_JPEG_PROPERTIES;
    setTag(*props, 0);
    --liveRecords;
    return IJL_OK;
}

int liveRecordCount() {
    return liveRecords.load();
}

namespace hooks {

void setInitFailure(IJLERR code) {
    initFailure.store(code);
}

void setWriteObserver(WriteObserver observer) {
    writeObserver() = std::move(observer);
}

} // namespace hooks

} // namespace ijl
