#include "engine/read/Exif.h"

#include "engine/core/Support.h"

#include <cstring>

namespace tessaplex::read {
namespace {

class TiffView {
public:
    TiffView(const uint8_t* data, size_t size, bool bigEndian) : m_data(data), m_size(size), m_big(bigEndian) {}

    bool u16(size_t at, uint32_t& out) const {
        if (at > m_size || m_size - at < 2) {
            return false;
        }
        const uint8_t* p = m_data + at;
        out = m_big ? loadBE16(p) : loadLE16(p);
        return true;
    }
    bool u32(size_t at, uint32_t& out) const {
        if (at > m_size || m_size - at < 4) {
            return false;
        }
        const uint8_t* p = m_data + at;
        out = m_big ? loadBE32(p) : loadLE32(p);
        return true;
    }
    // A RATIONAL stored at `offset`; 0 when unreadable or its denominator is 0.
    double rational(uint32_t offset) const {
        uint32_t num = 0, den = 0;
        if (!u32(offset, num) || !u32(size_t{offset} + 4, den) || den == 0) {
            return 0;
        }
        return static_cast<double>(num) / den;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    bool m_big;
};

constexpr uint32_t kShort = 3, kRational = 5;

}  // namespace

ExifFields parseExif(const uint8_t* data, size_t size) {
    ExifFields fields;
    if (size < 14 || std::memcmp(data, "Exif\0\0", 6) != 0) {
        return fields;
    }
    const uint8_t* tiff = data + 6;
    const size_t tiffSize = size - 6;
    bool big = false;
    if (std::memcmp(tiff, "MM", 2) == 0) {
        big = true;
    } else if (std::memcmp(tiff, "II", 2) != 0) {
        return fields;
    }
    const TiffView view(tiff, tiffSize, big);
    uint32_t magic = 0, ifd = 0, entries = 0;
    if (!view.u16(2, magic) || magic != 42 || !view.u32(4, ifd) || !view.u16(ifd, entries)) {
        return fields;
    }
    for (uint32_t i = 0; i < entries; ++i) {
        const size_t entry = size_t{ifd} + 2 + size_t{i} * 12;
        uint32_t tag = 0, type = 0, count = 0, value = 0;
        if (!view.u16(entry, tag) || !view.u16(entry + 2, type) || !view.u32(entry + 4, count)) {
            break;
        }
        if (tag == 0x0112 && type == kShort && count >= 1 && view.u16(entry + 8, value) && value >= 1 && value <= 8) {
            fields.orientation = static_cast<int>(value);
        } else if ((tag == 0x011A || tag == 0x011B) && type == kRational && count >= 1 && view.u32(entry + 8, value)) {
            (tag == 0x011A ? fields.xResolution : fields.yResolution) = view.rational(value);
        } else if (tag == 0x0128 && type == kShort && count >= 1 && view.u16(entry + 8, value) && value >= 1 &&
                   value <= 3) {
            fields.resolutionUnit = static_cast<int>(value);
        }
    }
    return fields;
}

}  // namespace tessaplex::read
