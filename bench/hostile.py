#!/usr/bin/env python3
"""Hostile inputs: files whose bytes ask for far more work than they carry data for,
made here rather than kept in the repository, and timed through tpx-convert.

    hostile.py make FOLDER            writes the files into FOLDER
    hostile.py time FOLDER TPX [SECS]  converts each into BMP, PNG and JPG with the
                                       tpx-convert program TPX; prints the answer and
                                       the wall time, and exits 1 when an answer took
                                       SECS (default 1) or longer or was not a read error

Called by bench/hostile.sh. Not a test: time is measured here, never asserted by the
unit tests."""
import os
import struct
import subprocess
import sys
import time
import zlib


# ---------------------------------------------------------------- JPEG

class BitWriter:
    """Entropy-coded bits, with a zero stuffed after every 0xFF byte."""

    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.count = 0

    def put(self, value, bits):
        self.acc = (self.acc << bits) | value
        self.count += bits
        while self.count >= 8:
            self.count -= 8
            byte = (self.acc >> self.count) & 0xFF
            self.out.append(byte)
            if byte == 0xFF:
                self.out.append(0)
        self.acc &= (1 << self.count) - 1

    def end(self):
        if self.count:
            self.put((1 << (8 - self.count)) - 1, 8 - self.count)
        return bytes(self.out)


def segment(marker, body):
    return struct.pack(">BBH", 0xFF, marker, len(body) + 2) + body


def dht(table_class, table_id, codes_by_length, values):
    counts = bytes(codes_by_length[i] if i < len(codes_by_length) else 0 for i in range(16))
    return segment(0xC4, bytes([table_class << 4 | table_id]) + counts + bytes(values))


def progressive_flood(size, scans, valid_progression):
    """A grey progressive JPEG of size x size pixels whose DC scan codes every block as 0
    and whose AC scans code every block as an end of band in long end-of-band runs: a
    few dozen bytes a scan, each scan still a pass over every block. With
    `valid_progression` the scans follow the standard's rules (one coefficient at a
    time, successive approximation from bit 13 down); otherwise one band is repeated."""
    blocks = (size // 8) ** 2
    out = bytearray(b"\xFF\xD8")
    out += segment(0xDB, bytes([0]) + bytes([1] * 64))
    out += segment(0xC2, struct.pack(">BHHB", 8, size, size, 1) + bytes([1, 0x11, 0]))
    # DC: one code, "0", for a difference of 0. AC: "0" for a run of 2^14 + 14 extra
    # bits of end-of-bands, "10" for a run of 2^5.
    out += dht(0, 0, [1], [0])
    out += dht(1, 0, [1, 1], [0xE0, 0x50])

    def scan(ss, se, ah, al, data):
        return segment(0xDA, bytes([1, 1, 0x00, ss, se, ah << 4 | al])) + data

    bits = BitWriter()
    for _ in range(blocks):
        bits.put(0, 1)
    out += scan(0, 0, 0, 0, bits.end())

    bits = BitWriter()
    left = blocks
    while left >= 32767:
        bits.put(0, 1)
        bits.put(32767 - 16384, 14)
        left -= 32767
    while left >= 32:
        bits.put(2, 2)
        left -= 32
    assert left == 0, "the size must give a multiple of 32 blocks"
    eob_runs = bits.end()

    if valid_progression:
        plan = []
        for k in range(1, 64):
            plan.append((k, k, 0, 13))
            plan += [(k, k, ah, ah - 1) for ah in range(13, 0, -1)]
        plan = plan[:scans]
    else:
        plan = [(1, 63, 0, 0)] * scans
    for ss, se, ah, al in plan:
        out += scan(ss, se, ah, al, eob_runs)
    return bytes(out + b"\xFF\xD9")


# ---------------------------------------------------------------- PNG

def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png_tiny_idat(width, height, empty_between):
    """A grey PNG whose zlib stream travels one byte per IDAT chunk, with
    `empty_between` empty IDAT chunks after each."""
    raw = (b"\x00" + b"\x80" * width) * height
    stream = zlib.compress(raw, 9)
    out = bytearray(b"\x89PNG\r\n\x1a\n")
    out += png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0))
    empty = png_chunk(b"IDAT", b"")
    for byte in stream:
        out += png_chunk(b"IDAT", bytes([byte]))
        out += empty * empty_between
    out += png_chunk(b"IEND", b"")
    return bytes(out)


def png_chunk_flood(count):
    """A 1 x 1 PNG preceded by `count` small ancillary chunks of a kind nobody knows."""
    out = bytearray(b"\x89PNG\r\n\x1a\n")
    out += png_chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 0, 0, 0, 0))
    unknown = png_chunk(b"quIx", b"x")
    out += unknown * count
    out += png_chunk(b"IDAT", zlib.compress(b"\x00\x80"))
    out += png_chunk(b"IEND", b"")
    return bytes(out)


# ---------------------------------------------------------------- GIF

def gif_lzw_one_pixel():
    # Minimum code size 2: clear (4), index 0, end (5), in 3-bit codes.
    codes = [4, 0, 5]
    value = 0
    for i, code in enumerate(codes):
        value |= code << (3 * i)
    return bytes([2, 2]) + value.to_bytes(2, "little") + b"\x00"


def gif_empty_frames(width, height, frames):
    """A width x height screen whose first `frames` frames are empty: a graphic control
    extension and a comment each, before a 1 x 1 image."""
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", width, height, 0x80, 0, 0)  # global table of 2 colours
    out += b"\x00\x00\x00\xFF\xFF\xFF"
    empty = b"\x21\xF9\x04\x00\x00\x00\x00\x00" + b"\x21\xFE\x00"
    out += empty * frames
    out += b"\x2C" + struct.pack("<HHHHB", 0, 0, 1, 1, 0) + gif_lzw_one_pixel()
    return bytes(out + b"\x3B")


def gif_clear_flood(size, data_bytes):
    """A size x size image whose data is nothing but clear codes: with the minimum code
    size 0 each takes one bit, and a decoder that empties its whole table at each one
    (giflib did, 4.8 s for a megabyte) pays for 4096 entries per bit."""
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", size, size, 0x80, 0, 0) + b"\x00\x00\x00\xFF\xFF\xFF"
    out += b"\x2C" + struct.pack("<HHHHB", 0, 0, size, size, 0) + b"\x00"
    out += b"\xFF" * 256 * (data_bytes // 255) + b"\x00"
    return bytes(out + b"\x3B")


# ---------------------------------------------------------------- BMP

def bmp_rle(width, height, body):
    palette = bytes([0, 0, 0, 0, 255, 255, 255, 0])
    offset = 14 + 40 + len(palette)
    header = b"BM" + struct.pack("<IHHI", offset + len(body), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 1, len(body), 2835, 2835, 2, 0)
    return header + info + palette + body


def bmp_rle_skips(size):
    """An RLE8 image of size x size pixels that says nothing of its pixels: one
    end-of-line code per row, then the end of the bitmap."""
    return bmp_rle(size, size, b"\x00\x00" * size + b"\x00\x01")


def bmp_rle_deltas(size):
    """The same by delta codes, each moving 255 rows up."""
    body = b"\x00\x02\x00\xFF" * (size // 255) + b"\x00\x01"
    return bmp_rle(size, size, body)


def make(folder):
    os.makedirs(folder, exist_ok=True)
    files = {
        "jpeg-eob-flood.jpg": progressive_flood(8192, 1500, False),
        "jpeg-eob-flood-valid.jpg": progressive_flood(8192, 900, True),
        "png-tiny-idat.png": png_tiny_idat(4096, 4096, 4),
        "png-chunk-flood.png": png_chunk_flood(100000),
        "gif-empty-frames.gif": gif_empty_frames(16384, 16384, 40000),
        "gif-clear-flood.gif": gif_clear_flood(4096, 1 << 20),
        "bmp-rle-skips.bmp": bmp_rle_skips(16384),
        "bmp-rle-deltas.bmp": bmp_rle_deltas(16384),
    }
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        print(f"{name:28} {len(data):>10,} bytes")


def time_all(folder, tpx, limit):
    slow = []
    for name in sorted(os.listdir(folder)):
        source = os.path.join(folder, name)
        if not os.path.isfile(source):
            continue
        for ext in ("bmp", "png", "jpg"):
            target = os.path.join(folder, "out", name + "." + ext)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            start = time.monotonic()
            run = subprocess.run([tpx, source, target], capture_output=True, text=True)
            seconds = time.monotonic() - start
            answer = run.stderr.strip() or "converted"
            flag = ""
            if seconds >= limit:
                flag = "  <-- slow"
                slow.append(f"{name} to {ext}")
            print(f"{name:28} -> {ext}  {seconds:6.3f} s  {answer}{flag}")
            if os.path.exists(target):
                os.remove(target)
    if slow:
        print(f"{len(slow)} answers took {limit} s or longer: " + ", ".join(slow))
        return 1
    print(f"every answer within {limit} s")
    return 0


def main():
    if len(sys.argv) >= 3 and sys.argv[1] == "make":
        make(sys.argv[2])
        return 0
    if len(sys.argv) >= 4 and sys.argv[1] == "time":
        return time_all(sys.argv[2], sys.argv[3], float(sys.argv[4]) if len(sys.argv) > 4 else 1.0)
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
