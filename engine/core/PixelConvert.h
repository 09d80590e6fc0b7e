#pragma once
// Turns rows of one PixelFormat into another: 16-bit samples rounded to 8 bits,
// palette indices expanded, gray widened to RGB, and alpha composited onto white
// when the target has no alpha channel.

#include "engine/core/ImageIO.h"

#include <array>

namespace tessaplex {

class RowConverter {
public:
    // Converts rows of the image `source` describes into `target`.
    RowConverter(const ImageInfo& source, PixelFormat target);

    // True when rows pass unchanged.
    bool isIdentity() const { return m_from == m_to; }
    // Converts one row of `width` pixels; `dst` holds width * bytesPerPixel(target) bytes.
    void convert(const uint8_t* src, uint8_t* dst, uint32_t width) const;

private:
    void convertGeneric(const uint8_t* src, uint8_t* dst, uint32_t width) const;

    PixelFormat m_from;
    PixelFormat m_to;
    // The source palette, padded to 256 entries with opaque black.
    std::array<PaletteEntry, 256> m_palette{};
    // The palette composited onto white, for targets without alpha.
    std::array<PaletteEntry, 256> m_paletteOnWhite{};
};

// True when every palette entry is gray (r == g == b) once composited onto white.
bool paletteIsGray(const std::vector<PaletteEntry>& palette);

}  // namespace tessaplex
