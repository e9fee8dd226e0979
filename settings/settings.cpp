#include "settings/settings.h"

#include "platform/files/filenames.h"
#include "platform/profile/profile.h"

#include <array>
#include <cstdint>
#include <string>

namespace settings {
namespace {

// The file's text is a file name's bytes, so that a saved path comes back byte for byte.
std::string text(const QString& value) {
    return platform::encodeName(value).toStdString();
}

// The first count characters of value, a character being a code point (a pair of surrogates is
// one) or a byte that the file-name mapping carries.
QString firstCharacters(const QString& value, qsizetype count) {
    qsizetype at = 0;
    for (; at < value.size() && count > 0; --count)
        at += value[at].isHighSurrogate() && at + 1 < value.size() && value[at + 1].isLowSurrogate()
                  ? 2
                  : 1;
    return value.left(at);
}

void writeKey(const QString& iniFile, const QString& section, const QString& key,
              const QString& value) {
    // A write that fails is not noticed: the next start reads what the file held before.
    platform::WritePrivateProfileStringA(text(section), text(key), text(value), text(iniFile));
}

} // namespace

QString IniFilePath(const QString& settingsFolder) {
    return settingsFolder + QLatin1Char('/') + QStringLiteral("Kalmora.ini");
}

QString NullTrim(const QString& Stringwert) {
    const qsizetype nul = Stringwert.indexOf(QChar(u'\0'));
    return nul < 0 ? Stringwert : Stringwert.left(nul);
}

QString ReadText(const QString& iniFile, const QString& section, const QString& key,
                 const QString& defaultValue) {
    // Room for the longest value of MaxTextLength characters: four bytes each, and the NUL.
    std::array<char, MaxTextLength * 4 + 1> buffer;
    buffer.fill(' ');
    platform::GetPrivateProfileStringA(text(section), text(key), text(defaultValue), buffer.data(),
                                       static_cast<std::uint32_t>(buffer.size()), text(iniFile));
    return firstCharacters(
        NullTrim(platform::decodeName(QByteArrayView(buffer.data(), buffer.size()))),
        MaxTextLength);
}

int ReadQuality(const QString& iniFile) {
    return platform::GetPrivateProfileIntA(text(SectionOther), text(KeyQuality), 20, text(iniFile));
}

void Write(const QString& iniFile, const Saved& values) {
    writeKey(iniFile, SectionFiles, KeyJpeg, QString::number(values.jpeg));
    writeKey(iniFile, SectionFiles, KeyGif, QString::number(values.gif));
    writeKey(iniFile, SectionFiles, KeyBmp, QString::number(values.bmp));
    writeKey(iniFile, SectionFiles, KeyAll, QString::number(values.all));
    writeKey(iniFile, SectionOther, KeyQuality, QString::number(values.quality));
    writeKey(iniFile, SectionOther, KeyPath, values.path);
    writeKey(iniFile, SectionOther, KeyFilename, values.filename);
    if (values.extension)
        writeKey(iniFile, SectionOther, KeyExtension, QString::number(*values.extension));
}

QString PatternFromFlags(int jpeg, int gif, int bmp, int all) {
    constexpr int ticked = 1; // greyed (2) counts as unticked
    if (all == ticked)
        return QStringLiteral("*.*");
    QString pattern;
    if (jpeg == ticked)
        pattern += QStringLiteral("*.jpg");
    if (gif == ticked)
        pattern += pattern.isEmpty() ? QStringLiteral("*.gif") : QStringLiteral(";*.gif");
    if (bmp == ticked)
        pattern +=
            pattern.isEmpty() ? QStringLiteral("*.bmp;*.dib") : QStringLiteral(";*.bmp;*.dib");
    return pattern;
}

} // namespace settings
