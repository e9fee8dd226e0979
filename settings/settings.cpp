#include "settings/settings.h"

#include "platform/files/filenames.h"
#include "platform/profile/profile.h"

#include <array>
#include <string>

namespace settings {
namespace {

// The file's text is a file name's bytes, so that a saved path comes back byte for byte.
std::string text(const QString& value) {
    return platform::encodeName(value).toStdString();
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
    std::array<char, 256> buffer;
    buffer.fill(' ');
    platform::GetPrivateProfileStringA(text(section), text(key), text(defaultValue), buffer.data(),
                                       255, text(iniFile));
    return NullTrim(platform::decodeName(QByteArrayView(buffer.data(), buffer.size())));
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
