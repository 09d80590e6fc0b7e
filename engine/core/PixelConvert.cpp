#include "engine/core/PixelConvert.h"

#include <cstring>

namespace tessaplex {

namespace {

struct Rgba16 {
    uint32_t r, g, b, a;
};

// Rounds a 16-bit sample to the nearest 8-bit one (65535 maps to 255, 257 * v to v).
inline uint8_t to8(uint32_t v) { return static_cast<uint8_t>((v * 255u + 32767u) / 65535u); }

// c over white with coverage a, both 8-bit, rounded.
inline uint8_t onWhite8(uint32_t c, uint32_t a) { return static_cast<uint8_t>((c * a + 255u * (255u - a) + 127u) / 255u); }

// c over white with coverage a, both 16-bit, rounded.
inline uint32_t onWhite16(uint32_t c, uint32_t a) {
    return static_cast<uint32_t>((uint64_t{c} * a + uint64_t{65535} * (65535u - a) + 32767u) / 65535u);
}

inline uint16_t load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline void store16(uint8_t* p, uint32_t v) {
    const uint16_t w = static_cast<uint16_t>(v);
    std::memcpy(p, &w, 2);
}

}  // namespace

bool paletteIsGray(const std::vector<PaletteEntry>& palette) {
    for (const PaletteEntry& e : palette) {
        const uint8_t r = onWhite8(e.r, e.a), g = onWhite8(e.g, e.a), b = onWhite8(e.b, e.a);
        if (r != g || g != b) {
            return false;
        }
    }
    return true;
}

RowConverter::RowConverter(const ImageInfo& source, PixelFormat target) : m_from(source.format), m_to(target) {
    const size_t n = source.palette.size() < 256 ? source.palette.size() : 256;
    for (size_t i = 0; i < n; ++i) {
        m_palette[i] = source.palette[i];
    }
    for (size_t i = 0; i < 256; ++i) {
        const PaletteEntry& e = m_palette[i];
        m_paletteOnWhite[i] = {onWhite8(e.r, e.a), onWhite8(e.g, e.a), onWhite8(e.b, e.a), 255};
    }
}

void RowConverter::convert(const uint8_t* src, uint8_t* dst, uint32_t width) const {
    using F = PixelFormat;
    if (m_from == m_to) {
        std::memcpy(dst, src, size_t{width} * bytesPerPixel(m_from));
        return;
    }
    // The conversions met on every photo get their own loops; the rest go through
    // 16-bit RGBA, which is exact for 8-bit values.
    if (m_from == F::Indexed8 && m_to == F::Rgb8) {
        for (uint32_t x = 0; x < width; ++x, dst += 3) {
            const PaletteEntry& e = m_paletteOnWhite[src[x]];
            dst[0] = e.r;
            dst[1] = e.g;
            dst[2] = e.b;
        }
        return;
    }
    if (m_from == F::Indexed8 && m_to == F::Rgba8) {
        for (uint32_t x = 0; x < width; ++x, dst += 4) {
            const PaletteEntry& e = m_palette[src[x]];
            dst[0] = e.r;
            dst[1] = e.g;
            dst[2] = e.b;
            dst[3] = e.a;
        }
        return;
    }
    if (m_from == F::Indexed8 && m_to == F::Gray8) {
        for (uint32_t x = 0; x < width; ++x) {
            dst[x] = m_paletteOnWhite[src[x]].g;
        }
        return;
    }
    if (m_from == F::Rgba8 && m_to == F::Rgb8) {
        for (uint32_t x = 0; x < width; ++x, src += 4, dst += 3) {
            const uint32_t a = src[3];
            if (a == 255) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
            } else {
                dst[0] = onWhite8(src[0], a);
                dst[1] = onWhite8(src[1], a);
                dst[2] = onWhite8(src[2], a);
            }
        }
        return;
    }
    if (m_from == F::GrayAlpha8 && m_to == F::Gray8) {
        for (uint32_t x = 0; x < width; ++x, src += 2) {
            dst[x] = onWhite8(src[0], src[1]);
        }
        return;
    }
    if (m_from == F::Rgb16 && m_to == F::Rgb8) {
        for (uint32_t i = 0; i < width * 3u; ++i) {
            dst[i] = to8(load16(src + 2 * i));
        }
        return;
    }
    convertGeneric(src, dst, width);
}

void RowConverter::convertGeneric(const uint8_t* src, uint8_t* dst, uint32_t width) const {
    using F = PixelFormat;
    const unsigned inSize = bytesPerPixel(m_from);
    const unsigned outSize = bytesPerPixel(m_to);
    const bool dropsAlpha = hasAlphaChannel(m_from) && !hasAlphaChannel(m_to);
    for (uint32_t x = 0; x < width; ++x, src += inSize, dst += outSize) {
        Rgba16 p{0, 0, 0, 65535};
        switch (m_from) {
            case F::Gray8: p.r = p.g = p.b = src[0] * 257u; break;
            case F::GrayAlpha8: p.r = p.g = p.b = src[0] * 257u; p.a = src[1] * 257u; break;
            case F::Rgb8: p = {src[0] * 257u, src[1] * 257u, src[2] * 257u, 65535}; break;
            case F::Rgba8: p = {src[0] * 257u, src[1] * 257u, src[2] * 257u, src[3] * 257u}; break;
            case F::Indexed8: {
                const PaletteEntry& e = m_palette[src[0]];
                p = {e.r * 257u, e.g * 257u, e.b * 257u, e.a * 257u};
                break;
            }
            case F::Gray16: p.r = p.g = p.b = load16(src); break;
            case F::GrayAlpha16: p.r = p.g = p.b = load16(src); p.a = load16(src + 2); break;
            case F::Rgb16: p = {load16(src), load16(src + 2), load16(src + 4), 65535}; break;
            case F::Rgba16: p = {load16(src), load16(src + 2), load16(src + 4), load16(src + 6)}; break;
        }
        if (dropsAlpha && p.a != 65535) {
            p = {onWhite16(p.r, p.a), onWhite16(p.g, p.a), onWhite16(p.b, p.a), 65535};
        }
        // Gray from colour only happens for palettes and colour sources the caller
        // chose to flatten; the Rec. 601 weights are the usual ones.
        const uint32_t gray = (p.r == p.g && p.g == p.b) ? p.r : (p.r * 299u + p.g * 587u + p.b * 114u + 500u) / 1000u;
        switch (m_to) {
            case F::Gray8: dst[0] = to8(gray); break;
            case F::GrayAlpha8: dst[0] = to8(gray); dst[1] = to8(p.a); break;
            case F::Rgb8: dst[0] = to8(p.r); dst[1] = to8(p.g); dst[2] = to8(p.b); break;
            case F::Rgba8: dst[0] = to8(p.r); dst[1] = to8(p.g); dst[2] = to8(p.b); dst[3] = to8(p.a); break;
            case F::Indexed8: dst[0] = 0; break;  // no writer asks for indices from another format
            case F::Gray16: store16(dst, gray); break;
            case F::GrayAlpha16: store16(dst, gray); store16(dst + 2, p.a); break;
            case F::Rgb16: store16(dst, p.r); store16(dst + 2, p.g); store16(dst + 4, p.b); break;
            case F::Rgba16:
                store16(dst, p.r); store16(dst + 2, p.g); store16(dst + 4, p.b); store16(dst + 6, p.a);
                break;
        }
    }
}

}  // namespace tessaplex
