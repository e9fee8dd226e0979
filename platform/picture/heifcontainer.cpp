#include "platform/picture/heifcontainer.h"

#include "platform/errors/runtimeerror.h"
#include "platform/picture/decodetarget.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

namespace platform {

namespace {

[[noreturn]] void refuse() {
    raise(ErrInvalidPicture);
}

// Reads big-endian numbers and four-character codes, refusing the file when they run out.
class Cursor {
public:
    explicit Cursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint64_t number(std::size_t size) {
        if (size > 8 || size > left())
            refuse();
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < size; ++i)
            value = value << 8 | bytes_[at_++];
        return value;
    }
    std::uint32_t u8() { return static_cast<std::uint32_t>(number(1)); }
    std::uint32_t u16() { return static_cast<std::uint32_t>(number(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(number(4)); }
    std::string_view fourcc() {
        const auto bytes = take(4);
        return {reinterpret_cast<const char*>(bytes.data()), 4};
    }
    std::span<const std::uint8_t> take(std::size_t size) {
        if (size > left())
            refuse();
        at_ += size;
        return bytes_.subspan(at_ - size, size);
    }
    std::span<const std::uint8_t> rest() { return take(left()); }
    std::size_t left() const { return bytes_.size() - at_; }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

struct Box {
    std::string_view type;
    std::span<const std::uint8_t> body;
};

// The boxes that fill `data`, each within it (a size of 0: up to its end). Bytes too few for a
// box header at the end are left alone.
std::vector<Box> boxesIn(std::span<const std::uint8_t> data) {
    std::vector<Box> boxes;
    Cursor cursor(data);
    while (cursor.left() >= 8) {
        const std::size_t left = cursor.left();
        std::uint64_t size = cursor.u32();
        const std::string_view type = cursor.fourcc();
        std::uint64_t header = 8;
        if (size == 1) {
            size = cursor.number(8);
            header = 16;
        } else if (size == 0) {
            size = left;
        }
        if (size < header || size > left)
            refuse();
        boxes.push_back({type, cursor.take(static_cast<std::size_t>(size - header))});
    }
    return boxes;
}

const Box* find(const std::vector<Box>& boxes, std::string_view type) {
    const auto box =
        std::find_if(boxes.begin(), boxes.end(), [&](const Box& b) { return b.type == type; });
    return box == boxes.end() ? nullptr : &*box;
}

// A full box's version; its flags in `flags`.
std::uint32_t versionOf(Cursor& box, std::uint32_t* flags = nullptr) {
    const std::uint32_t word = box.u32();
    if (flags)
        *flags = word & 0xFFFFFF;
    return word >> 24;
}

struct Size {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool operator==(const Size&) const = default;
};

// What the items of a HEIF file are, where their data lies, how large they say they are.
struct Items {
    std::map<std::uint32_t, std::string_view> types;
    std::map<std::uint32_t, std::vector<std::uint8_t>> headers; // the first bytes of their data
    std::map<std::uint32_t, Size> sizes;                        // from their ispe property
    std::map<std::uint32_t, std::vector<std::uint32_t>> derivedFrom; // dimg references
};

void readTypes(const Box& iinf, Items& items) {
    Cursor cursor(iinf.body);
    cursor.take(versionOf(cursor) == 0 ? 2 : 4); // the entry count: the boxes tell
    for (const Box& entry : boxesIn(cursor.rest())) {
        Cursor infe(entry.body);
        const std::uint32_t version = versionOf(infe);
        if (entry.type != "infe" || version < 2)
            continue;
        const std::uint32_t id = version == 2 ? infe.u16() : infe.u32();
        infe.u16(); // protection index
        items.types[id] = infe.fourcc();
    }
}

// Checks every extent of every item against the file (or the item-data box) and keeps the first
// bytes of each item's data, enough for the descriptor of a grid or an overlay.
void readLocations(const Box& iloc, std::span<const std::uint8_t> file,
                   std::span<const std::uint8_t> idat, Items& items) {
    constexpr std::size_t HeaderBytes = 32;
    Cursor cursor(iloc.body);
    const std::uint32_t version = versionOf(cursor);
    const std::uint32_t sizes = cursor.u16();
    const std::size_t offsetSize = sizes >> 12, lengthSize = sizes >> 8 & 15;
    const std::size_t baseSize = sizes >> 4 & 15, indexSize = version >= 1 ? sizes & 15 : 0;
    const std::uint32_t count = version < 2 ? cursor.u16() : cursor.u32();
    for (std::uint32_t item = 0; item < count; ++item) {
        const std::uint32_t id = version < 2 ? cursor.u16() : cursor.u32();
        const std::uint32_t method = version >= 1 ? cursor.u16() & 15 : 0;
        cursor.u16(); // data reference
        const std::uint64_t base = cursor.number(baseSize);
        const std::uint32_t extents = cursor.u16();
        std::vector<std::uint8_t>& header = items.headers[id];
        for (std::uint32_t extent = 0; extent < extents; ++extent) {
            cursor.number(indexSize);
            const std::uint64_t offset = cursor.number(offsetSize);
            const std::uint64_t length = cursor.number(lengthSize);
            if (method > 1)
                continue; // data of another item: checked as that item
            const auto within = method == 0 ? file : idat;
            if (base > within.size() || offset > within.size() - base)
                refuse();
            // A length of 0 ("the rest of the file") is not one libheif reads: it finds no data.
            const std::size_t start = static_cast<std::size_t>(base + offset);
            if (length == 0 || length > within.size() - start)
                refuse();
            const std::size_t kept = std::min(static_cast<std::size_t>(length),
                                              HeaderBytes - std::min(HeaderBytes, header.size()));
            header.insert(header.end(), within.begin() + static_cast<std::ptrdiff_t>(start),
                          within.begin() + static_cast<std::ptrdiff_t>(start + kept));
        }
    }
}

// The property boxes of an item-property box, in the order of their indices (index 1 first).
std::vector<Box> propertiesIn(const std::vector<Box>& iprpParts) {
    const Box* ipco = find(iprpParts, "ipco");
    return ipco ? boxesIn(ipco->body) : std::vector<Box>{};
}

// Calls `associate(item, property index)` for every association of every item, in order.
template <class Associate>
void forEachAssociation(const std::vector<Box>& iprpParts, Associate associate) {
    for (const Box& box : iprpParts) {
        if (box.type != "ipma")
            continue;
        Cursor ipma(box.body);
        std::uint32_t flags = 0;
        const std::uint32_t version = versionOf(ipma, &flags);
        const std::uint32_t entries = ipma.u32();
        for (std::uint32_t entry = 0; entry < entries; ++entry) {
            const std::uint32_t id = version < 1 ? ipma.u16() : ipma.u32();
            const std::uint32_t associations = ipma.u8();
            for (std::uint32_t a = 0; a < associations; ++a)
                associate(id, (flags & 1) ? ipma.u16() & 0x7FFF : ipma.u8() & 0x7F);
        }
    }
}

// Every picture size the file claims is one the loader takes; each item gets the size of its
// first ispe property.
void readSizes(const Box& iprp, std::size_t fileBytes, Items& items) {
    const auto parts = boxesIn(iprp.body);
    std::vector<std::optional<Size>> properties;
    for (const Box& property : propertiesIn(parts)) {
        std::optional<Size> size;
        if (property.type == "ispe") {
            Cursor ispe(property.body);
            versionOf(ispe);
            size = Size{ispe.u32(), ispe.u32()};
            checkPictureSize(size->width, size->height, fileBytes);
        }
        properties.push_back(size);
    }
    forEachAssociation(parts, [&](std::uint32_t id, std::uint32_t index) {
        if (index > 0 && index <= properties.size() && properties[index - 1] &&
            !items.sizes.contains(id))
            items.sizes[id] = *properties[index - 1];
    });
}

void readReferences(const Box& iref, Items& items) {
    Cursor cursor(iref.body);
    const bool wide = versionOf(cursor) != 0;
    for (const Box& reference : boxesIn(cursor.rest())) {
        if (reference.type != "dimg")
            continue;
        Cursor dimg(reference.body);
        const std::uint32_t from = wide ? dimg.u32() : dimg.u16();
        const std::uint32_t count = dimg.u16();
        for (std::uint32_t i = 0; i < count; ++i)
            items.derivedFrom[from].push_back(wide ? dimg.u32() : dimg.u16());
    }
}

// A grid or an overlay makes a canvas of the size its descriptor gives; it must be the size its
// ispe gives (which the loader has checked), and a grid's tiles must cover it all.
void checkCanvas(std::uint32_t id, std::string_view type, const Items& items) {
    const auto header = items.headers.find(id);
    const auto size = items.sizes.find(id);
    if (header == items.headers.end() || size == items.sizes.end())
        refuse();
    Cursor descriptor(header->second);
    descriptor.u8(); // version
    const bool wide = descriptor.u8() & 1;
    std::uint32_t rows = 0, columns = 0;
    if (type == "grid") {
        rows = descriptor.u8() + 1;
        columns = descriptor.u8() + 1;
    } else {
        descriptor.take(8); // the canvas colour
    }
    const Size canvas{static_cast<std::uint32_t>(descriptor.number(wide ? 4 : 2)),
                      static_cast<std::uint32_t>(descriptor.number(wide ? 4 : 2))};
    // Some writers (libheif among them) give a turned grid the ispe of the turned picture.
    const Size turned{size->second.height, size->second.width};
    if (canvas != size->second && canvas != turned)
        refuse();
    if (type != "grid")
        return;
    const auto tiles = items.derivedFrom.find(id);
    if (tiles == items.derivedFrom.end() || tiles->second.size() != rows * columns)
        refuse();
    std::optional<Size> tile;
    for (const std::uint32_t part : tiles->second) {
        const auto partSize = items.sizes.find(part);
        if (partSize == items.sizes.end() || (tile && partSize->second != *tile))
            refuse();
        tile = partSize->second;
    }
    if (std::uint64_t{columns} * tile->width < canvas.width ||
        std::uint64_t{rows} * tile->height < canvas.height)
        refuse();
}

// Still pictures and picture sequences, HEVC and AV1 coded, and the brands that say "items".
constexpr std::array<std::string_view, 11> PictureBrands = {
    "heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "mif2", "msf1", "avif", "avis"};
// Brands that say "this file is built on picture items" when they come as compatible brands.
constexpr std::array<std::string_view, 2> ItemBrands = {"mif1", "msf1"};

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& brands, std::string_view brand) {
    return std::find(brands.begin(), brands.end(), brand) != brands.end();
}

// The boxes inside the file's meta box.
std::vector<Box> metaParts(std::span<const std::uint8_t> data) {
    const auto boxes = boxesIn(data);
    const Box* meta = find(boxes, "meta");
    if (!meta)
        refuse();
    Cursor body(meta->body);
    versionOf(body);
    return boxesIn(body.rest());
}

} // namespace

bool looksLikeHeif(std::span<const std::uint8_t> data) {
    if (data.size() < 16)
        return false;
    Cursor cursor(data);
    const std::size_t size = cursor.u32();
    if (cursor.fourcc() != "ftyp" || size < 16)
        return false;
    if (contains(PictureBrands, cursor.fourcc()))
        return true;
    cursor.u32(); // minor version
    for (std::size_t at = 16; at + 4 <= std::min(size, data.size()); at += 4) {
        if (contains(ItemBrands, cursor.fourcc()))
            return true;
    }
    return false;
}

void checkHeifBoxes(std::span<const std::uint8_t> data) {
    const auto parts = metaParts(data);
    Items items;
    const Box* idat = find(parts, "idat");
    for (const Box& part : parts) {
        if (part.type == "iinf")
            readTypes(part, items);
        else if (part.type == "iloc")
            readLocations(part, data, idat ? idat->body : std::span<const std::uint8_t>{}, items);
        else if (part.type == "iprp")
            readSizes(part, data.size(), items);
        else if (part.type == "iref")
            readReferences(part, items);
    }
    for (const auto& [id, type] : items.types) {
        if (type == "grid" || type == "iovl")
            checkCanvas(id, type, items);
        // A coded picture without data is no picture (and makes the AV1 decoder leak).
        const auto header = items.headers.find(id);
        if ((type == "hvc1" || type == "av01") &&
            (header == items.headers.end() || header->second.empty()))
            refuse();
    }
}

std::vector<HeifTransformation> heifTransformations(std::span<const std::uint8_t> data,
                                                    std::uint32_t item) {
    const auto parts = metaParts(data);
    const Box* iprp = find(parts, "iprp");
    if (!iprp)
        return {};
    const auto iprpParts = boxesIn(iprp->body);
    const auto properties = propertiesIn(iprpParts);
    std::vector<HeifTransformation> transformations;
    forEachAssociation(iprpParts, [&](std::uint32_t id, std::uint32_t index) {
        if (id != item || index == 0 || index > properties.size())
            return;
        const Box& property = properties[index - 1];
        Cursor cursor(property.body);
        if (property.type == "irot") {
            transformations.push_back({.quarterTurns = static_cast<int>(cursor.u8() & 3)});
        } else if (property.type == "imir") {
            // Axis 1 mirrors left to right, axis 0 upside down: as libheif reads (and writes) it,
            // so that a deep picture shows as an 8-bit one with the same box does.
            transformations.push_back({.mirror = (cursor.u8() & 1)
                                                     ? HeifTransformation::LeftRight
                                                     : HeifTransformation::UpsideDown});
        } else if (property.type == "clap") {
            HeifTransformation crop{.crop = true};
            for (std::size_t field = 0; field < crop.aperture.size(); ++field) {
                const std::uint32_t numerator = cursor.u32();
                // The sizes are unsigned, the offsets signed.
                crop.aperture[field] = {field < 2
                                            ? std::int64_t{numerator}
                                            : std::int64_t{static_cast<std::int32_t>(numerator)},
                                        std::int64_t{cursor.u32()}};
            }
            transformations.push_back(crop);
        }
    });
    return transformations;
}

} // namespace platform
