#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <cstdint>
#include <map>
#include <vector>

namespace testsupport {

// A folder as users find them on memory cards and in downloads: valid pictures of several formats
// (painted in the four quarters of cornerpicture.h) among empty files, text named like pictures,
// truncated and lying files, special files, links that lead nowhere, and names with umlauts,
// blanks, quotes and emoji.
class HostileFolder {
public:
    enum class Expect {
        Converted,     // a valid picture: becomes a JPEG file of `size` with the four quarters
        Refused,       // listed, but must yield no output
        LoaderDecides, // damaged: the loader may decode what it can or refuse it; never a crash
        Unlisted,      // not a regular file: the file list leaves it out
        Vanishes,      // a valid picture when listed, gone or replaced by spoil() before loading
    };
    struct Entry {
        QString name;
        Expect expect;
        QSize size; // of a Converted picture
    };

    // Fills folder (which must exist and be empty).
    explicit HostileFolder(const QString& folder);

    const QString& path() const { return folder_; }
    const std::vector<Entry>& entries() const { return entries_; }
    const Entry* find(const QString& name) const;

    // What happens between listing and loading: deletes one listed picture and puts a FIFO in
    // place of another one.
    void spoil() const;

    // A SHA-256 of every regular file the folder holds now (links followed, the folder x.jpg
    // included), by name; entries that are not regular files map to their kind.
    static std::map<QString, QByteArray> fingerprint(const QString& folder);

private:
    void add(const QString& name, const QByteArray& bytes, Expect expect, QSize size = {});

    QString folder_;
    std::vector<Entry> entries_;
};

// Picture files built by hand, for the headers that no writer would produce.
namespace hostile {

// A 24-bit BMP of the four quarters (bottom-up, or top-down with a negative height).
QByteArray quarteredBmp(int width, int height, bool topDown = false);
// An 8-bit palette BMP of the four quarters.
QByteArray quarteredPaletteBmp(int width, int height);
// A GIF of the four quarters: a frame of frame size at (left, top) on a screen of screen size,
// with the frame's first pixelsWritten pixels (all of them when negative).
QByteArray quarteredGif(QSize screen, QSize frame, int left = 0, int top = 0,
                        std::int64_t pixelsWritten = -1);
// A JPEG or PNG of the four quarters, as Qt writes it.
QByteArray quarteredImage(int width, int height, const char* format, bool progressive = false);

// A BMP header claiming width x height 24-bit pixels, followed by a few bytes of pixels.
QByteArray bmpClaiming(int width, int height);
// Run-length coded bitmaps (8 or 4 bits per pixel) whose runs and deltas reach past their rows
// and below the last row.
QByteArray overrunningRleBmp(int bitsPerPixel);

} // namespace hostile

} // namespace testsupport
