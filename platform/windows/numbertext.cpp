#include "platform/windows/numbertext.h"

#include "platform/errors/runtimeerror.h"

#include <QRegularExpression>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace platform {

namespace {

constexpr double Int16Min = -32768.0;
constexpr double Int16Max = 32767.0;

int checkedInt16(double value) {
    if (!(value >= Int16Min && value <= Int16Max)) // NaN fails too
        raise(ErrOverflow);
    return static_cast<int>(value);
}

// "&H..." and "&O...": up to 16 bits a bit pattern of an integer, up to 32 bits one of a long.
int fromRadixLiteral(const QString& digits, int base) {
    bool ok = false;
    const qulonglong value = digits.toULongLong(&ok, base);
    if (!ok) // too many digits for 64 bits
        raise(ErrOverflow);
    if (value <= 0xFFFFu)
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
    if (value <= 0xFFFFFFFFu)
        return checkedInt16(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
    raise(ErrOverflow);
}

} // namespace

int toInteger(const QString& text) {
    static const QRegularExpression blanks(QStringLiteral("^[ \\t]+|[ \\t]+$"));
    static const QRegularExpression decimal(
        QStringLiteral("^[+-]?(?:[0-9]+\\.?[0-9]*|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?$"));
    static const QRegularExpression hex(QStringLiteral("^&[hH]([0-9a-fA-F]+)$"));
    static const QRegularExpression octal(QStringLiteral("^&[oO]([0-7]+)$"));

    const QString trimmed = QString(text).remove(blanks);
    if (decimal.match(trimmed).hasMatch()) {
        bool ok = false;
        double value = trimmed.toDouble(&ok);
        if (!ok) // out of the range of a double: huge, or so small that it is zero
            value = std::abs(value) >= 1.0 ? HUGE_VAL : 0.0;
        // Round half to even, the platform's rounding for every conversion to an integer.
        return checkedInt16(std::rint(value));
    }
    if (const auto m = hex.match(trimmed); m.hasMatch())
        return fromRadixLiteral(m.captured(1), 16);
    if (const auto m = octal.match(trimmed); m.hasMatch())
        return fromRadixLiteral(m.captured(1), 8);
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return -1;
    if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return 0;
    raise(ErrTypeMismatch);
}

QString numberText(float value) {
    // A float's fixed form needs at most 39 integer digits and 45 fraction digits.
    std::array<char, 96> text{};
    const auto [end, error] =
        std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (error != std::errc{})
        raise(ErrOverflow);
    return QString::fromLatin1(text.data(), end - text.data());
}

} // namespace platform
