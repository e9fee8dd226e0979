#include "platform/files/filenames.h"

#include <algorithm>
#include <array>

namespace platform {

namespace {

constexpr char16_t EscapeBase = 0xDC00; // a byte b that is not UTF-8 is carried as EscapeBase + b
constexpr char16_t Replacement = 0xFFFD;

bool isEscape(char16_t unit) {
    return unit >= EscapeBase + 0x80 && unit <= EscapeBase + 0xFF;
}

// The UTF-8 sequence that starts at `at`, as its length and code point; length 0 when the bytes
// there are not one (overlong forms, surrogates and code points beyond U+10FFFF included).
struct Sequence {
    int length = 0;
    char32_t code = 0;
};
Sequence sequenceAt(QByteArrayView bytes, qsizetype at) {
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    Sequence sequence;
    char32_t smallest = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        sequence = {2, char32_t(lead & 0x1F)}, smallest = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF)
        sequence = {3, char32_t(lead & 0x0F)}, smallest = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4)
        sequence = {4, char32_t(lead & 0x07)}, smallest = 0x10000;
    else
        return {};
    if (at + sequence.length > bytes.size())
        return {};
    for (int i = 1; i < sequence.length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return {};
        sequence.code = (sequence.code << 6) | (byte(at + i) & 0x3F);
    }
    if (sequence.code < smallest || (sequence.code >= 0xD800 && sequence.code <= 0xDFFF) ||
        sequence.code > 0x10FFFF)
        return {};
    return sequence;
}

void appendUtf8(QByteArray& bytes, char32_t code) {
    if (code < 0x80) {
        bytes.append(static_cast<char>(code));
    } else if (code < 0x800) {
        bytes.append(static_cast<char>(0xC0 | (code >> 6)));
        bytes.append(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        bytes.append(static_cast<char>(0xE0 | (code >> 12)));
        bytes.append(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        bytes.append(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        bytes.append(static_cast<char>(0xF0 | (code >> 18)));
        bytes.append(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        bytes.append(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        bytes.append(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// Windows-1252 from 0x80 to 0x9F; from 0xA0 on it agrees with Latin-1.
constexpr std::array<char16_t, 32> Windows1252 = {
    0x20AC,      Replacement, 0x201A, 0x0192, 0x201E, 0x2026,      0x2020, 0x2021,
    0x02C6,      0x2030,      0x0160, 0x2039, 0x0152, Replacement, 0x017D, Replacement,
    Replacement, 0x2018,      0x2019, 0x201C, 0x201D, 0x2022,      0x2013, 0x2014,
    0x02DC,      0x2122,      0x0161, 0x203A, 0x0153, Replacement, 0x017E, 0x0178,
};

} // namespace

QString decodeName(QByteArrayView bytes) {
    if (std::all_of(bytes.begin(), bytes.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return QString::fromLatin1(bytes);
    QString text;
    text.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        if (lead < 0x80) {
            text.append(QChar(lead));
            ++at;
        } else if (const Sequence sequence = sequenceAt(bytes, at); sequence.length > 0) {
            text.append(QChar::fromUcs4(sequence.code));
            at += sequence.length;
        } else {
            // The bytes after it start afresh: a sequence is never split, whatever precedes it.
            text.append(QChar(static_cast<char16_t>(EscapeBase + lead)));
            ++at;
        }
    }
    return text;
}

QByteArray encodeName(QStringView text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype at = 0; at < text.size(); ++at) {
        const char16_t unit = text[at].unicode();
        if (QChar::isHighSurrogate(unit) && at + 1 < text.size() && text[at + 1].isLowSurrogate()) {
            appendUtf8(bytes, QChar::surrogateToUcs4(unit, text[at + 1].unicode()));
            ++at;
        } else if (isEscape(unit)) {
            bytes.append(static_cast<char>(unit - EscapeBase));
        } else {
            appendUtf8(bytes, QChar::isSurrogate(unit) ? Replacement : unit);
        }
    }
    return bytes;
}

QString readableName(const QString& text) {
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return isEscape(c.unicode()); }))
        return text;
    QString readable = text;
    for (QChar& c : readable) {
        if (!isEscape(c.unicode()))
            continue;
        const char16_t byte = c.unicode() - EscapeBase;
        c = QChar(byte < 0xA0 ? Windows1252[byte - 0x80] : byte);
    }
    return readable;
}

} // namespace platform
