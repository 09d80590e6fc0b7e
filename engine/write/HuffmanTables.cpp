#include "engine/write/HuffmanTables.h"

#include <algorithm>
#include <utility>

namespace tessaplex::jpeg {

void DecodeTable::build(const HuffmanTable& table, bool dc) {
    values = table.values;
    fast.fill(0);
    whole.fill(Entry{0, 0, 0});
    int32_t code = 0;
    size_t k = 0;
    for (int length = 1; length <= 16; ++length) {
        offset[length] = static_cast<int32_t>(k) - code;
        for (int i = 0; i < table.bits[length]; ++i, ++k, ++code) {
            const uint8_t symbol = values[k];
            if (length <= kFast) {
                const int shift = kFast - length;
                for (int fill = 0; fill < (1 << shift); ++fill) {
                    fast[(code << shift) | fill] = static_cast<uint16_t>(length << 8 | symbol);
                }
            }
            const int taken = length + (dc ? symbol : symbol & 15);
            if (taken <= kLookupBits) {
                const int shift = kLookupBits - length;
                for (int fill = 0; fill < (1 << shift); ++fill) {
                    whole[(code << shift) | fill] = Entry{static_cast<uint8_t>(taken), symbol, stepOf(symbol, dc)};
                }
            }
        }
        maxCode[length] = table.bits[length] ? code - 1 : -1;
        code <<= 1;
    }
    maxCode[17] = INT32_MAX;
}

void EncodeTable::build(const HuffmanTable& table) {
    code.fill(0);
    length.fill(0);
    uint32_t c = 0;
    size_t k = 0;
    for (int n = 1; n <= 16; ++n) {
        for (int i = 0; i < table.bits[n]; ++i, ++k, ++c) {
            code[table.values[k]] = c;
            length[table.values[k]] = static_cast<uint8_t>(n);
        }
        c <<= 1;
    }
}

void RecodeTable::build(const DecodeTable& old, const EncodeTable& codes, bool dc) {
    for (uint32_t peek = 0; peek < entries.size(); ++peek) {
        Entry& e = entries[peek];
        const DecodeTable::Entry w = old.whole[peek];
        if (w.taken == 0) {
            e = Entry{0, 0, 0, 0};
            continue;
        }
        const int size = dc ? w.symbol : w.symbol & 15;
        const uint32_t extra = (peek >> (kLookupBits - w.taken)) & ((1u << size) - 1);
        e = Entry{codes.code[w.symbol] << size | extra, static_cast<uint8_t>(codes.length[w.symbol] + size), w.taken,
                  w.advance};
    }
}

// Code lengths from symbol counts, limited to 16 bits, with no code of all ones:
// the procedure of the JPEG standard's annex K.2 and K.3.
HuffmanTable optimalTable(const std::array<uint64_t, 256>& counts) {
    std::array<uint64_t, 257> freq{};
    std::array<int, 257> codeSize{};
    std::array<int, 257> others{};
    std::copy(counts.begin(), counts.end(), freq.begin());
    freq[256] = 1;  // reserves the all-ones code point
    others.fill(-1);
    // The standard takes the least frequent symbol, the last of equal ones, then the
    // next such: a heap ordered that way picks the same pairs without scanning all 257.
    const auto later = [](const std::pair<uint64_t, int>& a, const std::pair<uint64_t, int>& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    };
    std::vector<std::pair<uint64_t, int>> heap;
    for (int i = 0; i <= 256; ++i) {
        if (freq[i]) {
            heap.emplace_back(freq[i], i);
        }
    }
    std::make_heap(heap.begin(), heap.end(), later);
    while (heap.size() > 1) {
        std::pop_heap(heap.begin(), heap.end(), later);
        int c1 = heap.back().second;
        heap.pop_back();
        std::pop_heap(heap.begin(), heap.end(), later);
        int c2 = heap.back().second;
        heap.back() = {freq[c1] + freq[c2], c1};
        std::push_heap(heap.begin(), heap.end(), later);
        freq[c1] += freq[c2];
        freq[c2] = 0;
        ++codeSize[c1];
        while (others[c1] >= 0) {
            c1 = others[c1];
            ++codeSize[c1];
        }
        others[c1] = c2;
        ++codeSize[c2];
        while (others[c2] >= 0) {
            c2 = others[c2];
            ++codeSize[c2];
        }
    }
    std::array<int, 258> bits{};
    for (int i = 0; i <= 256; ++i) {
        if (codeSize[i]) {
            ++bits[codeSize[i]];
        }
    }
    for (int i = 257; i > 16; --i) {
        while (bits[i] > 0) {
            int j = i - 2;
            while (bits[j] == 0) {
                --j;
            }
            bits[i] -= 2;
            bits[i - 1] += 1;
            bits[j + 1] += 2;
            bits[j] -= 1;
        }
    }
    int longest = 16;
    while (longest > 0 && bits[longest] == 0) {
        --longest;
    }
    --bits[longest];  // drop the reserved code point
    HuffmanTable table;
    for (int i = 1; i <= 16; ++i) {
        table.bits[i] = static_cast<uint8_t>(bits[i]);
    }
    // The symbols are sorted by their original code length; K.3 only moved lengths,
    // so taking them in that order with the adjusted counts is what the standard does.
    const int deepest = *std::max_element(codeSize.begin(), codeSize.begin() + 256);
    for (int length = 1; length <= deepest; ++length) {
        for (int s = 0; s < 256; ++s) {
            if (codeSize[s] == length) {
                table.values.push_back(static_cast<uint8_t>(s));
            }
        }
    }
    return table;
}

}  // namespace tessaplex::jpeg
