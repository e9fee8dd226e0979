#pragma once

#include <cstdint>
#include <string_view>

// The private-profile (INI) functions. Text is 8-bit (UTF-8 here), file names included. Section
// and key names are matched without regard to case; a missing file, section or key yields the
// caller's default. Writing creates the file, the section and the key as needed, replaces an
// existing value and keeps every other byte of the file (see ProfileText).
namespace platform {

// Copies the value of key in section (or defaultValue when it is missing) to the start of buffer:
// at most size - 1 bytes, never half a UTF-8 character (a byte that belongs to none is one of its
// own), followed by a NUL. Returns the number of bytes copied without the NUL. With size 0 nothing
// is written.
std::uint32_t GetPrivateProfileStringA(std::string_view section, std::string_view key,
                                       std::string_view defaultValue, char* buffer,
                                       std::uint32_t size, std::string_view file);

// The leading decimal number of the value, 0 when it does not begin with a digit ("35abc" gives
// 35; "abc", "", "-7" and "+8" give 0; a number beyond the range of int gives INT_MAX), or
// defaultValue when the key is missing.
int GetPrivateProfileIntA(std::string_view section, std::string_view key, int defaultValue,
                          std::string_view file);

// Sets key in section to value. A value is one line: it is cut at its first line break, so it
// cannot add lines of its own to the file. The file is replaced as a whole (see replaceWholeFile);
// a write that fails, or a file the user may not write, leaves the file as it was and returns
// false.
bool WritePrivateProfileStringA(std::string_view section, std::string_view key,
                                std::string_view value, std::string_view file);

} // namespace platform
