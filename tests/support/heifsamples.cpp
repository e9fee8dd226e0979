#include "heifsamples.h"

#include <QtEndian>
#include <libheif/heif.h>
#include <memory>
#include <vector>

namespace testsupport {

namespace {

struct Free {
    void operator()(heif_context* context) const { heif_context_free(context); }
    void operator()(heif_image* image) const { heif_image_release(image); }
    void operator()(heif_encoder* encoder) const { heif_encoder_release(encoder); }
    void operator()(heif_encoding_options* options) const { heif_encoding_options_free(options); }
    void operator()(heif_color_profile_nclx* nclx) const { heif_nclx_color_profile_free(nclx); }
};
template <class T> using Owned = std::unique_ptr<T, Free>;

void check(const heif_error& error) {
    if (error.code != heif_error_Ok)
        qFatal("libheif: %s", error.message);
}

heif_error append(heif_context*, const void* data, size_t size, void* bytes) {
    static_cast<QByteArray*>(bytes)->append(static_cast<const char*>(data),
                                            static_cast<qsizetype>(size));
    return {heif_error_Ok, heif_suberror_Unspecified, ""};
}

// The picture's samples as libheif takes them: RGBA interleaved, 8 bits or 16 holding `bits`.
Owned<heif_image> heifImage(const QImage& picture, int bits) {
    const QImage source = picture.convertToFormat(QImage::Format_RGBA64);
    heif_image* created = nullptr;
    check(heif_image_create(
        source.width(), source.height(), heif_colorspace_RGB,
        bits > 8 ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RGBA, &created));
    Owned<heif_image> image(created);
    check(heif_image_add_plane(created, heif_channel_interleaved, source.width(), source.height(),
                               bits));
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(created, heif_channel_interleaved, &stride);
    for (int y = 0; y < source.height(); ++y) {
        const auto* in = reinterpret_cast<const quint16*>(source.constScanLine(y));
        for (int i = 0; i < source.width() * 4; ++i) {
            if (bits > 8)
                reinterpret_cast<quint16*>(plane + y * stride)[i] = in[i] >> (16 - bits);
            else
                plane[y * stride + i] = static_cast<std::uint8_t>(in[i] >> 8);
        }
    }
    return image;
}

QByteArray u32(qint64 value) {
    QByteArray bytes(4, '\0');
    qToBigEndian(static_cast<quint32>(value), bytes.data());
    return bytes;
}
QByteArray u16(qint64 value) {
    return u32(value).mid(2);
}
QByteArray box(const char* type, const QByteArray& body) {
    return u32(body.size() + 8) + type + body;
}
QByteArray fullBox(const char* type, int version, int flags, const QByteArray& body) {
    return box(type, u32(version << 24 | flags) + body);
}
// The first box of this type in a file libheif wrote (the files hold no data that looks like one).
QByteArray boxIn(const QByteArray& file, const char* type) {
    const qsizetype at = file.indexOf(type) - 4;
    return file.mid(at, qFromBigEndian<quint32>(file.constData() + at));
}

} // namespace

QByteArray heifFile(const QImage& picture, const HeifLayout& layout) {
    const Owned<heif_image> image = heifImage(picture, layout.bits);
    if (!layout.icc.isEmpty())
        check(heif_image_set_raw_color_profile(image.get(), "prof", layout.icc.constData(),
                                               static_cast<std::size_t>(layout.icc.size())));
    if (layout.primaries) {
        const Owned<heif_color_profile_nclx> nclx(heif_nclx_color_profile_alloc());
        check(heif_nclx_color_profile_set_color_primaries(nclx.get(), layout.primaries));
        check(heif_nclx_color_profile_set_transfer_characteristics(nclx.get(), layout.transfer));
        check(heif_image_set_nclx_color_profile(image.get(), nclx.get()));
    }
    const Owned<heif_context> context(heif_context_alloc());
    heif_encoder* made = nullptr;
    check(heif_context_get_encoder_for_format(
        context.get(), layout.avif ? heif_compression_AV1 : heif_compression_HEVC, &made));
    const Owned<heif_encoder> encoder(made);
    check(heif_encoder_set_lossy_quality(encoder.get(), 90));
    const Owned<heif_encoding_options> options(heif_encoding_options_alloc());
    options->save_alpha_channel = picture.hasAlphaChannel();
    options->macOS_compatibility_workaround = layout.gridCrop;
    options->macOS_compatibility_workaround_no_nclx_profile = layout.primaries == 0;
    options->image_orientation = static_cast<heif_orientation>(layout.orientation);
    check(heif_context_encode_image(context.get(), image.get(), encoder.get(), options.get(),
                                    nullptr));
    QByteArray bytes;
    heif_writer writer{1, append};
    check(heif_context_write(context.get(), &writer, &bytes));
    return bytes;
}

QByteArray heifGridFile(const QImage& image, int columns, int rows, QSize described,
                        QSize claimed) {
    const int tiles = columns * rows;
    const int grid = tiles + 1; // the tiles are items 1 to tiles
    const int width = image.width() / columns;
    const int height = image.height() / rows;
    QByteArray configurations;
    std::vector<QByteArray> coded;
    for (int tile = 0; tile < tiles; ++tile) {
        const QByteArray file =
            heifFile(image.copy(tile % columns * width, tile / columns * height, width, height),
                     {.gridCrop = false});
        configurations += boxIn(file, "hvcC");
        coded.push_back(boxIn(file, "mdat").mid(8));
    }
    const QSize size = described.isValid() ? described : image.size();
    const QSize ispe = claimed.isValid() ? claimed : image.size();
    const QByteArray descriptor =
        u16(0x0001) + char(rows - 1) + char(columns - 1) + u32(size.width()) + u32(size.height());
    const auto meta = [&](qint64 dataAt) {
        QByteArray infos = u16(tiles + 1), references = u16(grid) + u16(tiles);
        QByteArray locations = QByteArray("\x44\x00", 2) + u16(tiles + 1);
        QByteArray associations = u32(tiles + 1);
        for (int item = 1; item <= tiles; ++item) {
            infos += fullBox("infe", 2, 1, u16(item) + u16(0) + "hvc1" + '\0');
            references += u16(item);
            const auto length = coded[item - 1].size();
            locations += u16(item) + u16(0) + u16(0) + u16(1) + u32(dataAt) + u32(length);
            dataAt += length;
            associations += u16(item) + '\x02' + char(0x80 | item) + char(tiles + 1);
        }
        infos += fullBox("infe", 2, 0, u16(grid) + u16(0) + "grid" + '\0');
        locations += u16(grid) + u16(1) + u16(0) + u16(1) + u32(0) + u32(descriptor.size());
        associations += u16(grid) + '\x01' + char(tiles + 2);
        const QByteArray properties = configurations +
                                      fullBox("ispe", 0, 0, u32(width) + u32(height)) +
                                      fullBox("ispe", 0, 0, u32(ispe.width()) + u32(ispe.height()));
        return fullBox(
            "meta", 0, 0,
            fullBox("hdlr", 0, 0, u32(0) + "pict" + QByteArray(13, '\0')) +
                fullBox("pitm", 0, 0, u16(grid)) + fullBox("iloc", 1, 0, locations) +
                fullBox("iinf", 0, 0, infos) + fullBox("iref", 0, 0, box("dimg", references)) +
                box("iprp", box("ipco", properties) + fullBox("ipma", 0, 0, associations)) +
                box("idat", descriptor));
    };
    const QByteArray type = box("ftyp", QByteArray("heic") + u32(0) + "mif1heic");
    QByteArray data;
    for (const QByteArray& tile : coded)
        data += tile;
    return type + meta(type.size() + meta(0).size() + 8) + box("mdat", data);
}

} // namespace testsupport
