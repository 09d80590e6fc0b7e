#pragma once
// PNG row filters and the usual choice among them: the filter whose output has the
// smallest sum of absolute values (as signed bytes).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessaplex {

class PngFilter {
public:
    // For rows of `rowBytes` bytes with `bpp` bytes per complete pixel (at least 1).
    PngFilter(size_t rowBytes, unsigned bpp);

    // Writes the filter type and the filtered `row` to out[0 .. rowBytes]; `previous`
    // is the row above, null for the first. `adaptive` false always picks None.
    void filter(const uint8_t* row, const uint8_t* previous, bool adaptive, uint8_t* out);

private:
    size_t m_rowBytes;
    unsigned m_bpp;
    std::vector<uint8_t> m_zeros;
    std::vector<uint8_t> m_trial[4];
};

}  // namespace tessaplex
