#pragma once

#include <cstdint>
#include <span>
#include <string>

// The bodies of the fuzz targets. Each takes one input, runs it through the program's own code
// path and returns an empty string when the input was handled soundly, otherwise what went wrong.
// Crashes, leaks and undefined behaviour are the sanitizers' to find. The libFuzzer executables
// and the seed-corpus test call the same bodies.
namespace fuzztargets {

// bytes as a picture file: loaded, copied into an image buffer and written as a JPEG file into a
// scratch folder, which must hold nothing else afterwards.
std::string convertPicture(std::span<const std::uint8_t> bytes);

// bytes as the settings file: every read the program makes, profile reads into small buffers, the
// close step's write and a read-back of what was written.
std::string readSettings(std::span<const std::uint8_t> bytes);

} // namespace fuzztargets
