#include "platform/profile/profiletext.h"

#include <algorithm>

namespace platform {
namespace {

constexpr std::string_view Utf8Signature = "\xEF\xBB\xBF";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isLineBreak(char c) {
    return c == '\n' || c == '\r';
}

char folded(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
bool sameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, {}, folded, folded);
}

// The part of text[begin, end) without blanks at either end.
std::pair<std::size_t, std::size_t> trimmed(std::string_view text, std::size_t begin,
                                            std::size_t end) {
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return {begin, end};
}

// One line of the text, without its line ending, and what it holds.
struct Line {
    enum Kind { Other, Header, Entry };
    Kind kind = Other;
    std::string_view name; // of the section or the key
    std::size_t valueBegin = 0, valueEnd = 0;
};

Line parse(std::string_view text, std::size_t begin, std::size_t end) {
    Line line;
    const auto [first, last] = trimmed(text, begin, end);
    if (first == last || text[first] == ';' || text[first] == '#')
        return line;
    const std::string_view content = text.substr(first, last - first);
    if (content.front() == '[') {
        if (const std::size_t close = content.find(']'); close != std::string_view::npos) {
            const auto [nameBegin, nameEnd] = trimmed(text, first + 1, first + close);
            line = {Line::Header, text.substr(nameBegin, nameEnd - nameBegin)};
        }
        return line;
    }
    const std::size_t equals = content.find('=');
    if (equals == std::string_view::npos || equals == 0)
        return line;
    const auto [keyBegin, keyEnd] = trimmed(text, first, first + equals);
    const auto [valueBegin, valueEnd] = trimmed(text, first + equals + 1, end);
    return {Line::Entry, text.substr(keyBegin, keyEnd - keyBegin), valueBegin, valueEnd};
}

} // namespace

ProfileText::Found ProfileText::find(std::string_view section, std::string_view key) const {
    const std::string_view text(text_);
    Found found;
    bool inSection = sameName(section, {}); // entries before the first header
    bool firstBlock = false;                // in the section's first block, which takes new keys
    std::size_t begin = text.starts_with(Utf8Signature) ? Utf8Signature.size() : 0;
    while (begin < text.size()) {
        std::size_t end = begin;
        while (end < text.size() && !isLineBreak(text[end]))
            ++end;
        std::size_t next = end;
        if (next < text.size())
            next += text.substr(next).starts_with("\r\n") ? 2 : 1;

        const Line line = parse(text, begin, end);
        if (line.kind == Line::Header) {
            inSection = sameName(line.name, section);
            firstBlock = inSection && !found.append;
            if (firstBlock)
                found.append = next;
        } else if (line.kind == Line::Entry && inSection) {
            if (firstBlock)
                found.append = next;
            if (!found.value && sameName(line.name, key))
                found.value = Span{line.valueBegin, line.valueEnd};
        }
        begin = next;
    }
    return found;
}

std::optional<std::string_view> ProfileText::value(std::string_view section,
                                                   std::string_view key) const {
    const std::optional<Span> span = find(section, key).value;
    if (!span)
        return std::nullopt;
    return std::string_view(text_).substr(span->begin, span->end - span->begin);
}

std::string_view ProfileText::lineEnding() const {
    const std::size_t at = text_.find_first_of("\r\n");
    if (at == std::string::npos || text_[at] == '\n')
        return "\n";
    return std::string_view(text_).substr(at).starts_with("\r\n") ? "\r\n" : "\r";
}

void ProfileText::insertLine(std::size_t at, std::string_view line) {
    std::string inserted;
    // The last line may have no ending yet; a signature alone is no line.
    if (at == text_.size() && text_.size() > (text_.starts_with(Utf8Signature) ? 3u : 0u) &&
        !isLineBreak(text_.back()))
        inserted = lineEnding();
    inserted.append(line).append(lineEnding());
    text_.insert(at, inserted);
}

void ProfileText::set(std::string_view section, std::string_view key, std::string_view value) {
    const Found found = find(section, key);
    if (found.value) {
        text_.replace(found.value->begin, found.value->end - found.value->begin, value);
        return;
    }
    const std::string entry = std::string(key) + '=' + std::string(value);
    if (!found.append)
        insertLine(text_.size(), '[' + std::string(section) + ']');
    insertLine(found.append.value_or(text_.size()), entry);
}

} // namespace platform
