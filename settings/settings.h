#pragma once

#include <QString>
#include <optional>

// The settings file: where it lives, its keys and defaults, how values are read and written, and
// the rule that turns the four file-type flags into the file list's pattern. It knows nothing of
// windows; the main window applies the values to its controls.
namespace settings {

// The settings folder (a portable copy's own folder, see ProgramPlaces), a separator (always
// inserted) and "Kalmora.ini".
QString IniFilePath(const QString& settingsFolder);

// The characters of Stringwert before its first NUL.
QString NullTrim(const QString& Stringwert);

// The longest text a read gives back, in characters.
inline constexpr int MaxTextLength = 254;

// Text read of one key: the value (or the default when file or key is missing), trimmed at the NUL
// and cut to its first MaxTextLength characters. Values are read and written as file names are
// (platform::decodeName), so a saved path keeps its very bytes, and a character is a code point or
// a byte that is not UTF-8, whatever its length in bytes.
QString ReadText(const QString& iniFile, const QString& section, const QString& key,
                 const QString& defaultValue);

// Integer read of "Other"/"Quality": the value's leading decimal number, 0 when it does not begin
// with one, 20 when the key or file is missing.
int ReadQuality(const QString& iniFile);

// What the close step writes, in the order it is written.
struct Saved {
    int jpeg = 0;
    int gif = 0;
    int bmp = 0;
    int all = 1;
    int quality = 20;
    QString path;
    QString filename;
    std::optional<int> extension; // 0 lower case, 1 upper case, nothing when neither is selected
};
// One profile write per key; a write that fails is not reported (the file then stays as it was).
void Write(const QString& iniFile, const Saved& values);

// The file-type pattern rule: "*.*" when all is 1, else the fragments of the ticked types.
// Only the state 1 counts as ticked.
QString PatternFromFlags(int jpeg, int gif, int bmp, int all);

// Section and key names.
inline const QString SectionFiles = QStringLiteral("Files");
inline const QString SectionOther = QStringLiteral("Other");
inline const QString KeyJpeg = QStringLiteral("JPEG");
inline const QString KeyGif = QStringLiteral("GIF");
inline const QString KeyBmp = QStringLiteral("BMP");
inline const QString KeyAll = QStringLiteral("ALL");
inline const QString KeyQuality = QStringLiteral("Quality");
inline const QString KeyPath = QStringLiteral("Path");
inline const QString KeyFilename = QStringLiteral("Filename");
inline const QString KeyExtension = QStringLiteral("Extension");

} // namespace settings
