#include "engine/write/PngFilter.h"

#include <cstdlib>
#include <cstring>

namespace tessaplex {

namespace {

// Each loop below is written without branches between bytes so that the compiler
// turns it into vector code; the first `bpp` bytes have no left neighbour.

inline uint32_t cost(uint8_t v) { return static_cast<uint32_t>(std::abs(static_cast<int8_t>(v))); }

uint32_t sumNone(const uint8_t* row, size_t n) {
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
        sum += cost(row[i]);
    }
    return sum;
}

uint32_t filterSub(const uint8_t* row, size_t n, unsigned bpp, uint8_t* out) {
    uint32_t sum = 0;
    for (size_t i = 0; i < bpp; ++i) {
        out[i] = row[i];
        sum += cost(out[i]);
    }
    for (size_t i = bpp; i < n; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - row[i - bpp]);
        sum += cost(out[i]);
    }
    return sum;
}

uint32_t filterUp(const uint8_t* row, const uint8_t* up, size_t n, uint8_t* out) {
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - up[i]);
        sum += cost(out[i]);
    }
    return sum;
}

uint32_t filterAverage(const uint8_t* row, const uint8_t* up, size_t n, unsigned bpp, uint8_t* out) {
    uint32_t sum = 0;
    for (size_t i = 0; i < bpp; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - (up[i] >> 1));
        sum += cost(out[i]);
    }
    for (size_t i = bpp; i < n; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - ((row[i - bpp] + up[i]) >> 1));
        sum += cost(out[i]);
    }
    return sum;
}

inline uint8_t paeth(int a, int b, int c) {
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    const int bc = pb <= pc ? b : c;
    return static_cast<uint8_t>((pa <= pb && pa <= pc) ? a : bc);
}

uint32_t filterPaeth(const uint8_t* row, const uint8_t* up, size_t n, unsigned bpp, uint8_t* out) {
    uint32_t sum = 0;
    for (size_t i = 0; i < bpp; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - up[i]);  // Paeth with no left pixel predicts up
        sum += cost(out[i]);
    }
    for (size_t i = bpp; i < n; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - paeth(row[i - bpp], up[i], up[i - bpp]));
        sum += cost(out[i]);
    }
    return sum;
}

}  // namespace

PngFilter::PngFilter(size_t rowBytes, unsigned bpp) : m_rowBytes(rowBytes), m_bpp(bpp ? bpp : 1) {
    m_zeros.assign(rowBytes, 0);
    for (std::vector<uint8_t>& trial : m_trial) {
        trial.resize(rowBytes);
    }
}

void PngFilter::filter(const uint8_t* row, const uint8_t* previous, bool adaptive, uint8_t* out) {
    const size_t n = m_rowBytes;
    if (!adaptive) {
        out[0] = 0;
        std::memcpy(out + 1, row, n);
        return;
    }
    const uint8_t* up = previous ? previous : m_zeros.data();
    uint32_t best = sumNone(row, n);
    int choice = 0;
    const uint32_t sums[4] = {filterSub(row, n, m_bpp, m_trial[0].data()),
                              filterUp(row, up, n, m_trial[1].data()),
                              filterAverage(row, up, n, m_bpp, m_trial[2].data()),
                              filterPaeth(row, up, n, m_bpp, m_trial[3].data())};
    for (int f = 0; f < 4; ++f) {
        if (sums[f] < best) {
            best = sums[f];
            choice = f + 1;
        }
    }
    out[0] = static_cast<uint8_t>(choice);
    std::memcpy(out + 1, choice == 0 ? row : m_trial[choice - 1].data(), n);
}

}  // namespace tessaplex
