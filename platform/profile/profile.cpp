#include "platform/profile/profile.h"

#include "platform/files/wholefile.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

// Only the 8-bit parser is used: the file's text stays as it is, UTF-8 included. This is the one
// file that includes the library, so its implementation is compiled here.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

namespace platform {
namespace {

constexpr std::string_view Utf8Signature = "\xEF\xBB\xBF";

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}
bool isCommentStart(char c) {
    return c == ';' || c == '#';
}

// SimpleIni keeps a comment together with the entry below it. Comment lines below the last entry
// have none and would be dropped when the file is saved, so they are carried over by hand: this is
// the text after the last line that is neither blank nor a comment (after the file's opening
// comment block when it holds no such line), when it holds a comment.
std::string_view trailingComments(std::string_view text) {
    std::size_t tailStart = 0;
    bool leadingComments = !text.empty() && isCommentStart(text.front());
    bool commentInTail = false;
    for (std::size_t lineStart = 0; lineStart < text.size();) {
        const std::size_t newline = text.find('\n', lineStart);
        const std::size_t lineEnd = newline == std::string_view::npos ? text.size() : newline + 1;
        std::size_t first = lineStart;
        while (first < lineEnd && isBlank(text[first]))
            ++first;
        const bool blank = first == lineEnd || text[first] == '\n';
        const bool comment = !blank && isCommentStart(text[first]);
        // SimpleIni's opening comment block starts in the first column of the first line.
        leadingComments = leadingComments && comment && first == lineStart;
        if (leadingComments || (!blank && !comment)) {
            tailStart = lineEnd;
            commentInTail = false;
        } else if (comment) {
            commentInTail = true;
        }
        lineStart = lineEnd;
    }
    return commentInTail ? text.substr(tailStart) : std::string_view();
}

// A settings file's content, parsed. Duplicate keys are kept, so that a read finds the first one
// and a write replaces them all at the place of the first.
class Profile {
public:
    Profile() : ini_(false, true, false) { ini_.SetSpaces(false); }

    bool parse(std::string_view text) {
        if (text.starts_with(Utf8Signature)) {
            signature_ = true;
            text.remove_prefix(Utf8Signature.size());
        }
        tail_ = trailingComments(text);
        return ini_.LoadData(text.data(), text.size()) == SI_OK;
    }

    // The value, or nullptr when the section or key is missing. Valid while the profile lives.
    const char* value(std::string_view section, std::string_view key) const {
        return ini_.GetValue(std::string(section).c_str(), std::string(key).c_str(), nullptr);
    }

    bool set(std::string_view section, std::string_view key, std::string_view value) {
        return ini_.SetValue(std::string(section).c_str(), std::string(key).c_str(),
                             std::string(value).c_str(), nullptr, true) >= 0;
    }

    bool save(std::string& text) const {
        text.clear();
        if (signature_)
            text = Utf8Signature;
        std::string body;
        if (ini_.Save(body, false) != SI_OK)
            return false;
        text += body;
        text += tail_;
        return true;
    }

private:
    CSimpleIniA ini_;
    bool signature_ = false;
    std::string tail_;
};

// The profile of a file, or nothing when the file is missing or cannot be read.
bool load(Profile& profile, std::string_view file) {
    const WholeFile content = readWholeFile(std::string(file));
    return content.status == WholeFile::Read && profile.parse(content.data);
}

// The longest start of text of at most limit bytes that does not end inside a UTF-8 character.
std::size_t utf8Prefix(std::string_view text, std::size_t limit) {
    if (text.size() <= limit)
        return text.size();
    std::size_t length = limit;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        --length;
    return length;
}

int leadingDecimal(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    long long number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            break;
        number = std::min(number * 10 + (c - '0'), limit);
    }
    return static_cast<int>(negative ? -number : number);
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
    Profile profile;
    std::string_view value = defaultValue;
    if (load(profile, file)) {
        if (const char* found = profile.value(section, key))
            value = found;
    }
    const std::size_t length = utf8Prefix(value, size - 1);
    std::memcpy(buffer, value.data(), length);
    buffer[length] = '\0';
    return static_cast<std::uint32_t>(length);
}

int GetPrivateProfileIntA(std::string_view section, std::string_view key, int defaultValue,
                          std::string_view file) {
    Profile profile;
    if (!load(profile, file))
        return defaultValue;
    const char* found = profile.value(section, key);
    return found ? leadingDecimal(found) : defaultValue;
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
    Profile profile;
    std::string content;
    if (!profile.parse(old.data) ||
        !profile.set(section, key, value.substr(0, value.find_first_of("\r\n"))) ||
        !profile.save(content))
        return false;
    if (old.status == WholeFile::Read && content == old.data)
        return true;
    return replaceWholeFile(path, content);
}

} // namespace platform
