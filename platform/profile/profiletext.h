#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace platform {

// The text of a settings file, read and changed line by line so that a change touches no byte it
// does not own. A line is a section header ("[name]", with blanks around the name and anything
// after "]" ignored), an entry ("key=value", blanks around key and value ignored) or anything
// else: blank lines, comments (";" or "#" first), lines without "=", which are kept as they are.
// Names match without regard to (ASCII) case, and sections of the same name count as one; entries
// before the first header belong to the section "". Lines end in "\n", "\r\n" or "\r"; a UTF-8
// signature at the start is kept and not read as part of the first line.
class ProfileText {
public:
    explicit ProfileText(std::string text) : text_(std::move(text)) {}

    // The value of the first entry of key in section, or nothing when there is none.
    std::optional<std::string_view> value(std::string_view section, std::string_view key) const;

    // Sets that first entry's value, changing only the value's own bytes. A missing key becomes a
    // new line after the section's last entry, a missing section a new header at the end, both
    // with the file's own line ending.
    void set(std::string_view section, std::string_view key, std::string_view value);

    const std::string& text() const { return text_; }

private:
    struct Span {
        std::size_t begin = 0;
        std::size_t end = 0;
    };
    struct Found {
        std::optional<Span> value;         // of the first entry of the key
        std::optional<std::size_t> append; // where a new entry of the section goes
    };
    Found find(std::string_view section, std::string_view key) const;
    std::string_view lineEnding() const;
    void insertLine(std::size_t at, std::string_view line);

    std::string text_;
};

} // namespace platform
