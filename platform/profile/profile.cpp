#include "platform/profile/profile.h"

#include "platform/files/wholefile.h"
#include "platform/profile/profiletext.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>
#include <string>

namespace platform {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}
bool isCommentStart(char c) {
    return c == ';' || c == '#';
}

// The value of key in section of the file, or nothing when the file or the key is missing or the
// file cannot be read.
std::optional<std::string> valueOf(std::string_view section, std::string_view key,
                                   std::string_view file) {
    WholeFile content = readWholeFile(std::string(file));
    if (content.status != WholeFile::Read)
        return std::nullopt;
    const ProfileText text(std::move(content.data));
    const std::optional<std::string_view> value = text.value(section, key);
    return value ? std::optional<std::string>(*value) : std::nullopt;
}

// The length of the UTF-8 sequence a byte starts: 1 for ASCII and for a byte that starts none.
int sequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 1;
}

// The longest start of text of at most limit bytes that does not end inside a UTF-8 character.
// A lead byte and its continuation bytes stay together; a continuation byte without its lead is a
// character of its own, so a run of them is cut like ASCII.
std::size_t utf8Prefix(std::string_view text, std::size_t limit) {
    if (text.size() <= limit)
        return text.size();
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const auto continues = [&](std::size_t at) { return (byte(at) & 0xC0) == 0x80; };
    // The lead byte of a sequence that the cut would split lies at most three bytes before it.
    for (std::size_t back = 1; back <= 3 && back <= limit; ++back) {
        const std::size_t lead = limit - back;
        if (continues(lead))
            continue;
        const std::size_t length = sequenceLength(byte(lead));
        if (length <= back || lead + length > text.size())
            return limit;
        for (std::size_t at = limit; at < lead + length; ++at)
            if (!continues(at))
                return limit;
        return lead;
    }
    return limit;
}

// The value's leading decimal number; 0 when it does not begin with a digit, so also for a sign.
int leadingDecimal(std::string_view text) {
    long long number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            break;
        number = std::min<long long>(number * 10 + (c - '0'), INT_MAX);
    }
    return static_cast<int>(number);
}

bool writableName(std::string_view name, std::string_view forbidden) {
    return !name.empty() && !isBlank(name.front()) && !isBlank(name.back()) &&
           !isCommentStart(name.front()) && name.find_first_of(forbidden) == std::string_view::npos;
}

} // namespace

std::uint32_t GetPrivateProfileStringA(std::string_view section, std::string_view key,
                                       std::string_view defaultValue, char* buffer,
                                       std::uint32_t size, std::string_view file) {
    if (!buffer || size == 0)
        return 0;
    const std::optional<std::string> found = valueOf(section, key, file);
    const std::string_view value = found ? std::string_view(*found) : defaultValue;
    const std::size_t length = utf8Prefix(value, size - 1);
    std::memcpy(buffer, value.data(), length);
    buffer[length] = '\0';
    return static_cast<std::uint32_t>(length);
}

int GetPrivateProfileIntA(std::string_view section, std::string_view key, int defaultValue,
                          std::string_view file) {
    const std::optional<std::string> found = valueOf(section, key, file);
    return found ? leadingDecimal(*found) : defaultValue;
}

bool WritePrivateProfileStringA(std::string_view section, std::string_view key,
                                std::string_view value, std::string_view file) {
    // Names that would not read back as themselves are refused.
    if (!writableName(section, "]\r\n") || section.front() == '[' || !writableName(key, "=\r\n") ||
        key.front() == '[')
        return false;
    const std::string path(file);
    const WholeFile old = readWholeFile(path);
    if (old.status == WholeFile::Failed)
        return false; // never replace what could not be read
    ProfileText text(old.data);
    text.set(section, key, value.substr(0, value.find_first_of("\r\n")));
    if (old.status == WholeFile::Read && text.text() == old.data)
        return true;
    return replaceWholeFile(path, text.text());
}

} // namespace platform
