#pragma once
// The LZW decoder for one GIF frame's image data, fed with the data sub-blocks
// straight from the source. The code table holds each string as its last piece of up
// to 8 bytes and a link to the string before that piece, so a string is written out a
// word at a time rather than a pixel at a time; pixels are decoded ahead in blocks.
//
// Strict: a code the table does not hold yet, an end code or the end of the data
// before the last pixel are errors, never filler. An error is reported when the
// caller asks for a pixel past it, so the pixels a caller takes decide the outcome,
// not how far ahead the decoder has looked. The work is bounded by the input and the
// output: every code costs at least one bit of input, and every code but a clear
// code gives at least one pixel.

#include "engine/read/ByteSource.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tessaplex::read {

class GifLzw {
public:
    enum class Result : uint8_t {
        Ok,
        Truncated,  // the file ends inside the image data
        EndsEarly,  // an end code or the last sub-block comes before the last pixel
        BadCode,    // a code beyond the table
    };

    GifLzw();
    ~GifLzw();
    GifLzw(const GifLzw&) = delete;
    GifLzw& operator=(const GifLzw&) = delete;

    // Starts on a frame of `pixels` pixels whose image data begins at the source's
    // position (the first sub-block, right after the minimum code size `minCodeSize`,
    // 0 to 8). The source is read ahead of the data the decoder has used.
    void start(ByteSource& source, unsigned minCodeSize, uint64_t pixels);

    // Writes the frame's next `count` pixels to `out`. Once the frame's last pixel is
    // out, reads on to the end of the image data (whose sub-blocks must all be there).
    Result decode(uint8_t* out, size_t count);

private:
    // One code's string: `tail`, its last piece (bytes 8k.. of the string, 1 to 8 of
    // them), and `meta`: bits 0-11 the code whose string is all the earlier pieces,
    // bits 12-23 the length minus one, bits 24-31 the first byte, bit 63 set for the
    // clear and end codes.
    struct Entry {
        uint64_t tail;
        uint64_t meta;
    };

    bool fill();
    void decodeAhead();
    Result skipToEnd();

    ByteSource* m_source = nullptr;
    // The codes, and a spare slot for the entries made once the table is full.
    std::unique_ptr<Entry[]> m_table;
    // Image data without the sub-block lengths: bytes [m_pos, m_end) are still unread.
    std::unique_ptr<uint8_t[]> m_data;
    size_t m_pos = 0, m_end = 0;
    // Raw bytes read from the source: [m_rawPos, m_rawEnd) are not parsed yet.
    std::unique_ptr<uint8_t[]> m_raw;
    size_t m_rawPos = 0, m_rawEnd = 0;
    bool m_lastBlock = false;  // the empty sub-block that ends the data has been read
    bool m_truncated = false;  // the source ended inside the data

    uint64_t m_bits = 0;
    unsigned m_bitCount = 0;
    unsigned m_minCodeSize = 8;
    unsigned m_width = 9;
    unsigned m_avail = 258;  // the next free code
    unsigned m_prev = 0;     // the last code, or kNoCode right after a clear code

    // Pixels decoded ahead: [m_outPos, m_outEnd) are not handed out yet. The failure,
    // if any, that stopped the decoding at m_outEnd.
    std::unique_ptr<uint8_t[]> m_out;
    size_t m_outPos = 0, m_outEnd = 0;
    Result m_failure = Result::Ok;
    uint64_t m_undecoded = 0;  // pixels of the frame not decoded yet
    uint64_t m_unread = 0;     // pixels of the frame not handed out yet
};

}  // namespace tessaplex::read
