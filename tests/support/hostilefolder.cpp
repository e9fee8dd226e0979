#include "support/hostilefolder.h"

#include "platform/files/filenames.h"
#include "support/cornerpicture.h"
#include "support/heifsamples.h"
#include "support/picturesamples.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <array>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {
namespace {

void appendLe(QByteArray& bytes, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i)
        bytes.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}
void appendBe(QByteArray& bytes, std::uint32_t value) {
    for (int i = 3; i >= 0; --i)
        bytes.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// The quarters' colours as palette indices 0 to 3.
constexpr std::array<Rgb, 4> kPalette{corners::kTopLeft, corners::kTopRight, corners::kBottomLeft,
                                      corners::kBottomRight};
int quarterIndex(int x, int y, int width, int height) {
    const Rgb colour = corners::colourAt(x, y, width, height);
    for (int i = 0; i < 4; ++i) {
        if (kPalette[static_cast<std::size_t>(i)] == colour)
            return i;
    }
    return 0;
}

QByteArray bmpHeaders(int width, int height, int bitsPerPixel, int compression, int paletteSize,
                      std::uint32_t pixelBytes) {
    const std::uint32_t offset = 14 + 40 + 4 * static_cast<std::uint32_t>(paletteSize);
    QByteArray bytes("BM");
    appendLe(bytes, offset + pixelBytes, 4);
    appendLe(bytes, 0, 4);
    appendLe(bytes, offset, 4);
    appendLe(bytes, 40, 4);
    appendLe(bytes, static_cast<std::uint32_t>(width), 4);
    appendLe(bytes, static_cast<std::uint32_t>(height), 4);
    appendLe(bytes, 1, 2);
    appendLe(bytes, static_cast<std::uint32_t>(bitsPerPixel), 2);
    appendLe(bytes, static_cast<std::uint32_t>(compression), 4);
    appendLe(bytes, pixelBytes, 4);
    appendLe(bytes, 2835, 4);
    appendLe(bytes, 2835, 4);
    appendLe(bytes, static_cast<std::uint32_t>(paletteSize), 4);
    appendLe(bytes, 0, 4);
    for (int i = 0; i < paletteSize; ++i) {
        const Rgb& colour = kPalette[static_cast<std::size_t>(i % 4)];
        bytes.append(static_cast<char>(colour[2]));
        bytes.append(static_cast<char>(colour[1]));
        bytes.append(static_cast<char>(colour[0]));
        bytes.append('\0');
    }
    return bytes;
}

std::uint32_t crc32(const QByteArray& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A PNG of a valid picture whose header chunk claims width x height.
QByteArray pngClaiming(int width, int height) {
    QByteArray png = hostile::quarteredImage(8, 8, "PNG");
    QByteArray header("IHDR");
    appendBe(header, static_cast<std::uint32_t>(width));
    appendBe(header, static_cast<std::uint32_t>(height));
    header.append(png.mid(24, 5)); // depth, colour type, compression, filter, interlace
    appendBe(header, crc32(header));
    png.replace(12, header.size(), header);
    return png;
}

// A JPEG of a valid picture whose frame header claims width x height.
QByteArray jpegClaiming(int width, int height) {
    QByteArray jpeg = hostile::quarteredImage(16, 16, "JPG");
    const qsizetype frame = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    if (frame < 0)
        throw std::runtime_error("Qt wrote a JPEG without a baseline frame header");
    jpeg[frame + 5] = static_cast<char>(height >> 8);
    jpeg[frame + 6] = static_cast<char>(height & 0xFF);
    jpeg[frame + 7] = static_cast<char>(width >> 8);
    jpeg[frame + 8] = static_cast<char>(width & 0xFF);
    return jpeg;
}

QByteArray sha256(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

std::map<QString, QByteArray> fingerprintFolder(const std::string& path, int depth);

QByteArray fingerprintOf(const std::string& path, int depth) {
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0)
        return "missing";
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0)
        return S_ISLNK(link.st_mode) ? QByteArray("link to nothing: ") + QByteArray::number(errno)
                                     : QByteArray("unreadable");
    const QByteArray prefix = S_ISLNK(link.st_mode) ? "link to " : "";
    if (S_ISFIFO(target.st_mode))
        return prefix + "fifo";
    if (S_ISDIR(target.st_mode)) {
        QByteArray result = prefix + "folder{";
        if (depth > 0) {
            for (const auto& [name, print] : fingerprintFolder(path, depth - 1))
                result += name.toUtf8() + '=' + print + ';';
        }
        return result + '}';
    }
    if (!S_ISREG(target.st_mode))
        return prefix + "special";
    QFile file(QFile::decodeName(path.c_str()));
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0 || !file.open(descriptor, QIODevice::ReadOnly, QFile::AutoCloseHandle)) {
        if (descriptor >= 0)
            ::close(descriptor);
        return prefix + "unopenable";
    }
    return prefix + sha256(file.readAll());
}

std::map<QString, QByteArray> fingerprintFolder(const std::string& path, int depth) {
    std::map<QString, QByteArray> prints;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.c_str()), &::closedir);
    if (!dir)
        return prints;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        // Names that are not UTF-8 are kept apart by their bytes.
        const QString key = QString::fromUtf8(name).toUtf8() == QByteArray::fromStdString(name)
                                ? QString::fromUtf8(name)
                                : QStringLiteral("bytes:") +
                                      QString::fromLatin1(QByteArray::fromStdString(name).toHex());
        prints[key] = fingerprintOf(path + '/' + name, depth);
    }
    return prints;
}

void writeRaw(const std::string& path, const QByteArray& bytes) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0)
        throw std::runtime_error("cannot create " + path);
    const ssize_t written =
        ::write(descriptor, bytes.constData(), static_cast<size_t>(bytes.size()));
    ::close(descriptor);
    if (written != bytes.size())
        throw std::runtime_error("cannot write " + path);
}

} // namespace

namespace hostile {

QByteArray quarteredBmp(int width, int height, bool topDown) {
    const int stride = (3 * width + 3) & ~3;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride) * height);
    paintCorners(pixels.data(), width, height, stride, !topDown);
    QByteArray bytes = bmpHeaders(width, topDown ? -height : height, 24, 0, 0,
                                  static_cast<std::uint32_t>(pixels.size()));
    bytes.append(reinterpret_cast<const char*>(pixels.data()),
                 static_cast<qsizetype>(pixels.size()));
    return bytes;
}

QByteArray quarteredPaletteBmp(int width, int height) {
    const int stride = (width + 3) & ~3;
    QByteArray bytes =
        bmpHeaders(width, height, 8, 0, 4, static_cast<std::uint32_t>(stride * height));
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < stride; ++x)
            bytes.append(static_cast<char>(x < width ? quarterIndex(x, y, width, height) : 0));
    }
    return bytes;
}

QByteArray quarteredGif(QSize screen, QSize frame, int left, int top, std::int64_t pixelsWritten) {
    QByteArray bytes("GIF89a");
    appendLe(bytes, static_cast<std::uint32_t>(screen.width()), 2);
    appendLe(bytes, static_cast<std::uint32_t>(screen.height()), 2);
    bytes.append(static_cast<char>(0xF1)); // global table of 4 colours, 8 bits per channel
    bytes.append('\0');
    bytes.append('\0');
    for (const Rgb& colour : kPalette) {
        for (const int channel : colour)
            bytes.append(static_cast<char>(channel));
    }
    bytes.append(',');
    appendLe(bytes, static_cast<std::uint32_t>(left), 2);
    appendLe(bytes, static_cast<std::uint32_t>(top), 2);
    appendLe(bytes, static_cast<std::uint32_t>(frame.width()), 2);
    appendLe(bytes, static_cast<std::uint32_t>(frame.height()), 2);
    bytes.append('\0');

    // Codes of 3 bits: a clear code before every two pixels keeps the table from growing, so no
    // compression is needed to write a valid stream.
    constexpr int minimumCodeSize = 2;
    constexpr std::uint32_t clear = 4;
    constexpr std::uint32_t end = 5;
    QByteArray data;
    std::uint32_t bits = 0;
    int bitCount = 0;
    const auto put = [&](std::uint32_t code) {
        bits |= code << bitCount;
        bitCount += 3;
        while (bitCount >= 8) {
            data.append(static_cast<char>(bits & 0xFF));
            bits >>= 8;
            bitCount -= 8;
        }
    };
    const std::int64_t pixels =
        pixelsWritten >= 0 ? pixelsWritten : std::int64_t{frame.width()} * frame.height();
    for (std::int64_t i = 0; i < pixels; ++i) {
        if (i % 2 == 0)
            put(clear);
        put(static_cast<std::uint32_t>(quarterIndex(static_cast<int>(i % frame.width()),
                                                    static_cast<int>(i / frame.width()),
                                                    frame.width(), frame.height())));
    }
    put(end);
    if (bitCount > 0)
        data.append(static_cast<char>(bits & 0xFF));

    bytes.append(static_cast<char>(minimumCodeSize));
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        bytes.append(static_cast<char>(block.size()));
        bytes.append(block);
    }
    bytes.append('\0');
    bytes.append(';');
    return bytes;
}

QByteArray quarteredImage(int width, int height, const char* format, bool progressive) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb colour = corners::colourAt(x, y, width, height);
            image.setPixel(x, y, qRgb(colour[0], colour[1], colour[2]));
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(95);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
        throw std::runtime_error("Qt cannot write " + std::string(format));
    return bytes;
}

QByteArray bmpClaiming(int width, int height) {
    QByteArray bytes = bmpHeaders(width, height, 24, 0, 0, 0);
    bytes.append(QByteArray(64, '\x7F'));
    return bytes;
}

QByteArray overrunningRleBmp(int bitsPerPixel) {
    const bool eight = bitsPerPixel == 8;
    QByteArray runs;
    const auto add = [&](std::initializer_list<int> values) {
        for (const int value : values)
            runs.append(static_cast<char>(value));
    };
    add({200, eight ? 1 : 0x12}); // a run far longer than the row of 8
    add({0, 48});                 // 48 literal pixels
    runs.append(QByteArray(eight ? 48 : 24, '\x03'));
    add({0, 2, 250, 250});               // a jump far beyond the picture
    add({255, eight ? 2 : 0x23});        // another run there
    add({0, 0, 0, 0, 0, 0, 0, 0, 0, 0}); // more row ends than rows
    add({100, eight ? 3 : 0x31, 0, 1});  // pixels below the last row, then the end
    QByteArray bytes = bmpHeaders(8, 4, bitsPerPixel, eight ? 1 : 2, eight ? 4 : 4,
                                  static_cast<std::uint32_t>(runs.size()));
    bytes.append(runs);
    return bytes;
}

} // namespace hostile

HostileFolder::HostileFolder(const QString& folder) : folder_(folder) {
    using namespace hostile;
    const QByteArray jpeg = quarteredImage(64, 48, "JPG");
    const QByteArray gif = quarteredGif({40, 24}, {40, 24});
    const QByteArray bmp = quarteredBmp(45, 31);
    const QByteArray png = quarteredImage(30, 30, "PNG");
    const QByteArray heic = heifFile(QImage::fromData(quarteredImage(34, 26, "PNG")));
    const QImage turned = storedForOrientation(QImage::fromData(quarteredImage(41, 27, "PNG")), 8);

    // Valid pictures, with names a file manager lets anyone type.
    add(QStringLiteral("Urlaub 2019.jpg"), jpeg, Expect::Converted, {64, 48});
    add(QStringLiteral("Grüße äöü ß.bmp"), bmp, Expect::Converted, {45, 31});
    add(QStringLiteral("Zitat \"A\" 'B'.gif"), gif, Expect::Converted, {40, 24});
    add(QStringLiteral("Party 🎉.png"), png, Expect::Converted, {30, 30});
    add(QStringLiteral("IMG_0001.HEIC"), heic, Expect::Converted, {34, 26});
    add(QStringLiteral("IMG_0002.HEIC"), heifFile(turned, {.bits = 10, .orientation = 8}),
        Expect::Converted, {41, 27});
    add(QStringLiteral("Handy.avif"), heifFile(QImage::fromData(png), {.avif = true}),
        Expect::Converted, {30, 30});
    add(QStringLiteral("palette.dib"), quarteredPaletteBmp(21, 13), Expect::Converted, {21, 13});
    add(QStringLiteral("GROSS.JPG"), quarteredImage(49, 35, "JPG", true), Expect::Converted,
        {49, 35});
    add(QStringLiteral("kopfstehend.bmp"), quarteredBmp(36, 28, true), Expect::Converted, {36, 28});

    // Nothing or something else inside.
    add(QStringLiteral("leer.jpg"), {}, Expect::Refused);
    add(QStringLiteral("leer.gif"), {}, Expect::Refused);
    add(QStringLiteral("leer.bmp"), {}, Expect::Refused);
    add(QStringLiteral("notiz.jpg"), "Dies ist kein Bild.\r\n", Expect::Refused);
    add(QStringLiteral("seite.gif"), "<html><body>404</body></html>\n", Expect::Refused);

    // Cut off: inside the headers nothing can be shown; inside the pixels the loader decides.
    const auto cuts = [&](const QString& stem, const QString& extension, const QByteArray& bytes,
                          std::initializer_list<int> headerCuts) {
        for (const int cut : headerCuts)
            add(QStringLiteral("%1-%2.%3").arg(stem).arg(cut).arg(extension), bytes.left(cut),
                Expect::Refused);
        add(QStringLiteral("%1-halb.%2").arg(stem, extension), bytes.left(bytes.size() / 2),
            Expect::LoaderDecides);
        add(QStringLiteral("%1-ohne-ende.%2").arg(stem, extension), bytes.left(bytes.size() - 2),
            Expect::LoaderDecides);
    };
    cuts(QStringLiteral("jpeg-gekappt"), QStringLiteral("jpg"), jpeg, {2, 20, 100});
    cuts(QStringLiteral("gif-gekappt"), QStringLiteral("gif"), gif, {6, 13, 20});
    cuts(QStringLiteral("bmp-gekappt"), QStringLiteral("bmp"), bmp, {2, 14, 30});
    cuts(QStringLiteral("png-gekappt"), QStringLiteral("png"), png, {8, 30});
    cuts(QStringLiteral("heic-gekappt"), QStringLiteral("heic"), heic, {12, 40, 300});

    // Headers that lie.
    add(QStringLiteral("riesig.bmp"), bmpClaiming(60000, 60000), Expect::Refused);
    add(QStringLiteral("riesig.jpg"), jpegClaiming(65500, 65500), Expect::Refused);
    add(QStringLiteral("riesig.png"), pngClaiming(100000, 100000), Expect::Refused);
    add(QStringLiteral("riesig.gif"), quarteredGif({65535, 65535}, {65535, 65535}, 0, 0, 300),
        Expect::Refused);
    add(QStringLiteral("rahmen-zu-gross.gif"), quarteredGif({4, 3}, {10, 8}),
        Expect::LoaderDecides);
    add(QStringLiteral("rahmen-daneben.gif"), quarteredGif({8, 8}, {8, 8}, 60000, 60000),
        Expect::LoaderDecides);
    add(QStringLiteral("rle8-überlauf.bmp"), overrunningRleBmp(8), Expect::LoaderDecides);
    add(QStringLiteral("rle4-überlauf.dib"), overrunningRleBmp(4), Expect::LoaderDecides);

    // Things that are not files.
    const std::string base = QFile::encodeName(folder).toStdString() + '/';
    const auto special = [&](const QString& name,
                             const std::function<int(const std::string&)>& make) {
        if (make(base + QFile::encodeName(name).toStdString()) != 0)
            throw std::runtime_error("cannot make " + name.toStdString());
        entries_.push_back({name, Expect::Unlisted, {}});
    };
    special(QStringLiteral("weg.jpg"),
            [](const std::string& path) { return ::symlink("/nirgends/bild.jpg", path.c_str()); });
    special(QStringLiteral("z.jpg"),
            [](const std::string& path) { return ::symlink("z-schleife.jpg", path.c_str()); });
    special(QStringLiteral("z-schleife.jpg"),
            [](const std::string& path) { return ::symlink("z.jpg", path.c_str()); });
    special(QStringLiteral("x.jpg"),
            [](const std::string& path) { return ::mkdir(path.c_str(), 0755); });
    writeRaw(base + "x.jpg/innen.jpg", jpeg);
    special(QStringLiteral("y.jpg"),
            [](const std::string& path) { return ::mkfifo(path.c_str(), 0644); });
    // A link to a valid picture is a picture.
    if (::symlink("Urlaub 2019.jpg", (base + "verweis.jpg").c_str()) != 0)
        throw std::runtime_error("cannot make a link");
    entries_.push_back({QStringLiteral("verweis.jpg"), Expect::Converted, {64, 48}});

    // A valid picture from an old memory card whose name is Windows-1252, not UTF-8.
    add(platform::decodeName("alt-\xE4.jpg"), jpeg, Expect::Converted, {64, 48});

    // Present when listed, not when loaded (see spoil()).
    add(QStringLiteral("verschwindet.jpg"), jpeg, Expect::Vanishes);
    add(QStringLiteral("wird-fifo.gif"), gif, Expect::Vanishes);
}

void HostileFolder::add(const QString& name, const QByteArray& bytes, Expect expect, QSize size) {
    writeRaw(platform::encodeName(folder_ + u'/' + name).toStdString(), bytes);
    entries_.push_back({name, expect, size});
}

const HostileFolder::Entry* HostileFolder::find(const QString& name) const {
    for (const Entry& entry : entries_) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

void HostileFolder::spoil() const {
    const std::string base = QFile::encodeName(folder_).toStdString() + '/';
    if (::unlink((base + "verschwindet.jpg").c_str()) != 0 ||
        ::unlink((base + "wird-fifo.gif").c_str()) != 0 ||
        ::mkfifo((base + "wird-fifo.gif").c_str(), 0644) != 0)
        throw std::runtime_error("cannot spoil the folder");
}

std::map<QString, QByteArray> HostileFolder::fingerprint(const QString& folder) {
    return fingerprintFolder(QFile::encodeName(folder).toStdString(), 1);
}

} // namespace testsupport
