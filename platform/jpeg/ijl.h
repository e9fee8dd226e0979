#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// The JPEG library: one parameter record that describes the pixels on one side and the JPEG file
// on the other, and three calls on it. A file is written whole or not at all, and only a whole
// file gets a name: the encoder writes a file without a name in the target's folder and puts it
// in the target's place once every byte and the close have succeeded (platform::ReplacingFile).
namespace ijl {

// Result codes: 0 is success, every failure is negative.
enum IJLERR : std::int32_t {
    IJL_OK = 0,
    IJL_EXCEPTION_DETECTED = -1,          // the encoder stopped on an error of its own
    IJL_UNSUPPORTED_MODE = -2,            // ijlWrite was given a mode this library does not offer
    IJL_UNSUPPORTED_SUBSAMPLING = -3,     // a subsampling the named side cannot have
    IJL_UNSUPPORTED_BYTES_PER_PIXEL = -4, // a channel count or colour layout not offered
    IJL_MEMORY_ERROR = -5,
    IJL_INVALID_JPEG_PROPERTIES = -8, // no record, a record ijlInit did not prepare, or bad sizes
    IJL_ERR_FILECLOSE = -9,           // the file could not be closed (its data did not all land)
    IJL_INVALID_FILENAME = -10,       // no file name, or one that names no file
    IJL_FILE_ERROR = -23,             // the file could not be created, written or put in place
};

// What ijlWrite is asked to do.
enum IJLIOTYPE : std::int32_t {
    IJL_JFILE_WRITEWHOLEIMAGE = 8, // encode the whole picture into the file named by JPGFile
};

enum IJL_COLOR : std::int32_t {
    IJL_RGB = 1,
    IJL_BGR = 2,
    IJL_YCBCR = 3,
    IJL_G = 4,
};

enum IJL_SUBSAMPLING : std::int32_t {
    IJL_NONE = 0, // every channel at full resolution (4:4:4)
    IJL_411 = 1,  // colour channels halved in both directions (4:2:0)
    IJL_422 = 2,  // colour channels halved horizontally (4:2:2)
};

// The parameter record. A caller fills it with zero bytes, lets ijlInit fill in the defaults,
// sets the fields it needs, and hands it to ijlWrite.
struct JPEG_CORE_PROPERTIES {
    // The pixels. A negative DIBHeight means the rows lie bottom-up in memory (the first row in
    // memory is the bottom row of the picture); a positive one means top-down. Each row is
    // DIBWidth * DIBChannels bytes followed by DIBPadBytes (0 to 3) bytes that hold no pixel.
    const std::uint8_t* DIBBytes;
    std::int32_t DIBWidth;
    std::int32_t DIBHeight;
    std::int32_t DIBPadBytes;
    std::int32_t DIBChannels;
    IJL_COLOR DIBColor;
    IJL_SUBSAMPLING DIBSubsampling;

    // The JPEG file: a zero-terminated 8-bit path (UTF-8 on Linux), the picture's size (equal to
    // the pixels' size; the library does not scale), its colour layout and the quality, 1 (the
    // smallest file) to 100 (the best picture); values outside count as the nearest end.
    const char* JPGFile;
    std::int32_t JPGWidth;
    std::int32_t JPGHeight;
    std::int32_t JPGChannels;
    IJL_COLOR JPGColor;
    IJL_SUBSAMPLING JPGSubsampling;
    std::int32_t jquality;

    // The library's own state; callers leave it alone.
    std::byte state[20000];
};

// Prepares a record and fills in the defaults: pixels 3 channels blue-green-red, JPEG 3 channels
// YCbCr 4:2:0, quality 75. Every other field becomes 0.
IJLERR ijlInit(JPEG_CORE_PROPERTIES* props);

// Carries out iotype on a record that ijlInit prepared. IJL_JFILE_WRITEWHOLEIMAGE is offered:
// pixels 3 channels blue-green-red, JPEG 3 channels YCbCr in any of the three subsamplings,
// written as a baseline JPEG with Huffman tables made for the picture. Nothing is read through
// a null address; on failure an earlier file of the target's name is left as it was.
IJLERR ijlWrite(JPEG_CORE_PROPERTIES* props, IJLIOTYPE iotype);

// Releases what the library holds for a record; the record must be prepared again before use.
IJLERR ijlFree(JPEG_CORE_PROPERTIES* props);

// Records that ijlInit prepared and ijlFree has not released yet: lets tests prove nothing leaks.
int liveRecordCount();

// Calls ijlFree when it goes out of scope, on a record that ijlInit accepted.
class FreeOnExit {
public:
    explicit FreeOnExit(JPEG_CORE_PROPERTIES& props) noexcept : props_(props) {}
    ~FreeOnExit() { ijlFree(&props_); }
    FreeOnExit(const FreeOnExit&) = delete;
    FreeOnExit& operator=(const FreeOnExit&) = delete;

private:
    JPEG_CORE_PROPERTIES& props_;
};

// Seams for tests.
namespace hooks {

// While code is not IJL_OK, ijlInit fails with it and leaves the record alone.
void setInitFailure(IJLERR code);

// Sees every record ijlWrite is given, before the library works on it; an empty function
// removes the observer.
using WriteObserver = std::function<void(const JPEG_CORE_PROPERTIES&, IJLIOTYPE)>;
void setWriteObserver(WriteObserver observer);

} // namespace hooks

} // namespace ijl
