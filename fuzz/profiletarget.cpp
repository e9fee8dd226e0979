#include "fuzz/fuzztargets.h"
#include "platform/errors/runtimeerror.h"
#include "platform/profile/profile.h"
#include "platform/windows/numbertext.h"
#include "settings/settings.h"

#include <QFile>
#include <QTemporaryDir>
#include <array>
#include <optional>
#include <vector>

namespace fuzztargets {
namespace {

struct Key {
    const QString& section;
    const QString& key;
};
const std::array<Key, 8> keys{{
    {settings::SectionFiles, settings::KeyJpeg},
    {settings::SectionFiles, settings::KeyGif},
    {settings::SectionFiles, settings::KeyBmp},
    {settings::SectionFiles, settings::KeyAll},
    {settings::SectionOther, settings::KeyQuality},
    {settings::SectionOther, settings::KeyPath},
    {settings::SectionOther, settings::KeyFilename},
    {settings::SectionOther, settings::KeyExtension},
}};

// The start-up's conversion of a flag or the extension; text it refuses leaves the default.
int integerOr(const QString& text, int fallback) {
    try {
        return platform::toInteger(text);
    } catch (const platform::RuntimeError&) {
        return fallback;
    }
}

// A profile read into a buffer of size bytes must stay inside it, end with a NUL, and hold the
// start of what a read into a large buffer gives.
std::string checkSmallBuffers(const std::string& file) {
    constexpr std::uint32_t large = 4096;
    constexpr std::uint8_t guard = 0x7E;
    for (const Key& key : keys) {
        const std::string section = key.section.toStdString();
        const std::string name = key.key.toStdString();
        std::vector<char> whole(large);
        const std::uint32_t wholeLength =
            platform::GetPrivateProfileStringA(section, name, "default", whole.data(), large, file);
        if (wholeLength >= large || whole[wholeLength] != '\0')
            return "a read into a large buffer is not NUL-terminated";
        for (const std::uint32_t size : {0u, 1u, 2u, 3u, 4u, 7u, 16u, 255u}) {
            std::vector<char> buffer(size + 8, static_cast<char>(guard));
            const std::uint32_t length = platform::GetPrivateProfileStringA(
                section, name, "default", buffer.data(), size, file);
            for (std::uint32_t i = size; i < buffer.size(); ++i) {
                if (static_cast<std::uint8_t>(buffer[i]) != guard)
                    return "a profile read wrote beyond its buffer of " + std::to_string(size);
            }
            if (size == 0) {
                if (length != 0)
                    return "a read into no buffer copied something";
                continue;
            }
            if (length >= size || buffer[length] != '\0')
                return "a read into " + std::to_string(size) + " bytes is not NUL-terminated";
            if (std::string_view(buffer.data(), length) !=
                std::string_view(whole.data(), wholeLength).substr(0, length))
                return "a read into " + std::to_string(size) + " bytes is not the value's start";
        }
        // The integer read must not trip over any value (the sanitizers watch its arithmetic).
        static_cast<void>(platform::GetPrivateProfileIntA(section, name, 20, file));
    }
    return {};
}

// Blanks at either end do not survive a settings file; a value cut to 254 bytes can end in one.
QString storable(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (first < last && blank(text[first]))
        ++first;
    while (last > first && blank(text[last - 1]))
        --last;
    return text.mid(first, last - first);
}

} // namespace

std::string readSettings(std::span<const std::uint8_t> bytes) {
    static QTemporaryDir folder;
    if (!folder.isValid())
        return "no scratch folder";
    const QString ini = settings::IniFilePath(folder.path());
    {
        QFile file(ini);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()))
            return "the input cannot be written";
    }

    // The start-up's reads, in its order.
    using namespace settings;
    Saved values;
    values.jpeg = integerOr(ReadText(ini, SectionFiles, KeyJpeg, QStringLiteral("0")), 0);
    values.gif = integerOr(ReadText(ini, SectionFiles, KeyGif, QStringLiteral("0")), 0);
    values.bmp = integerOr(ReadText(ini, SectionFiles, KeyBmp, QStringLiteral("0")), 0);
    values.all = integerOr(ReadText(ini, SectionFiles, KeyAll, QStringLiteral("1")), 1);
    values.quality = ReadQuality(ini);
    values.path = ReadText(ini, SectionOther, KeyPath, folder.path());
    values.filename = ReadText(ini, SectionOther, KeyFilename, QStringLiteral("Foto"));
    const int extension =
        integerOr(ReadText(ini, SectionOther, KeyExtension, QStringLiteral("0")), 0);
    if (extension == 0 || extension == 1)
        values.extension = extension;
    // At most 254 bytes are read; no byte becomes more than one UTF-16 unit.
    for (const QString& text : {values.path, values.filename}) {
        if (text.size() > 254)
            return "a text read gave more than 254 characters";
    }

    if (std::string problem = checkSmallBuffers(QFile::encodeName(ini).toStdString());
        !problem.empty())
        return problem;

    // The close step's write, then what the next start would read.
    Write(ini, values);
    if (ReadQuality(ini) != values.quality)
        return "Quality does not read back as written";
    const std::array<std::pair<const QString*, int>, 4> flags{{
        {&KeyJpeg, values.jpeg},
        {&KeyGif, values.gif},
        {&KeyBmp, values.bmp},
        {&KeyAll, values.all},
    }};
    for (const auto& [key, value] : flags) {
        if (ReadText(ini, SectionFiles, *key, QString()) != QString::number(value))
            return key->toStdString() + " does not read back as written";
    }
    // Texts are compared where they fit whole into a read (a replaced invalid byte grows to 3).
    const std::array<std::pair<const QString*, const QString*>, 2> texts{{
        {&KeyPath, &values.path},
        {&KeyFilename, &values.filename},
    }};
    for (const auto& [key, value] : texts) {
        if (value->toUtf8().size() <= 254 &&
            ReadText(ini, SectionOther, *key, QStringLiteral("missing")) != storable(*value))
            return key->toStdString() + " does not read back as written";
    }
    if (values.extension &&
        ReadText(ini, SectionOther, KeyExtension, QString()) != QString::number(*values.extension))
        return "Extension does not read back as written";
    return {};
}

} // namespace fuzztargets
