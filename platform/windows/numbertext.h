#pragma once

#include <QString>

namespace platform {

// The platform's conversion of text to a 16-bit integer, as an assignment of text to an integer
// property performs it:
// - blanks and tabs around the number are ignored;
// - a decimal number with an optional sign, fraction and exponent ("1", "+1", "1.0", "1e0", "01")
//   is rounded to the nearest integer, halves to the even one ("0.5" -> 0, "1.5" -> 2);
//   the decimal point is "." and there are no thousands separators;
// - "&H" hexadecimal and "&O" octal numbers of up to four hex digits are taken as 16-bit patterns
//   ("&HFFFF" -> -1);
// - "True" and "False" (any case) are -1 and 0.
// Throws RuntimeError(13) for text that is none of these (an empty text too) and RuntimeError(6)
// for a number outside -32768 .. 32767.
int toInteger(const QString& text);

// A single-precision number as text, as joining it to a string writes it: the fewest decimal
// digits that read back as the same number, without exponent ("3", "0.1", "32768", "-2.5").
QString numberText(float value);

} // namespace platform
