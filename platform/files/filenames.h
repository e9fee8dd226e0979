#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace platform {

// To the system a file name is a string of bytes; to the program it is text. decodeName turns the
// bytes into text: what is valid UTF-8 becomes its characters, and every other byte b becomes the
// lone surrogate U+DC00 + b, a code point that valid UTF-8 never yields. encodeName turns the text
// back, each of those surrogates into its byte again. So every name the system gives reaches the
// system again unchanged, and text built from such names (a folder, "/", a name) encodes to the
// bytes of its pieces. Every path on its way to or from the system, or the settings file, passes
// through these two.
QString decodeName(QByteArrayView bytes);
// Any other lone surrogate (none comes from decodeName) is written as U+FFFD.
QByteArray encodeName(QStringView text);

// The text as the user reads it: each byte that decodeName carried shown as its Windows-1252
// character (the encoding of old Windows disks; a byte that has none there as U+FFFD). One
// character stands for one, so positions in the two texts agree.
QString readableName(const QString& text);

} // namespace platform
