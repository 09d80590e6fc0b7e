"""Writes COUNT small 24-bit BMP images (16 x 16 pixels, each with colours of its own)
into FOLDER as t00000.bmp, t00001.bmp, ...: the batch benchmark's many small files.
Usage: make-tiny.py FOLDER COUNT"""
import os
import struct
import sys


def bmp(index, size=16):
    pixels = bytes(value
                   for y in range(size)
                   for x in range(size)
                   for value in ((x * 16 + index) & 255, (y * 16 + index * 7) & 255, (x ^ y ^ index) & 255))
    # 48 bytes a row: already a multiple of four, so no padding.
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + pixels


def main():
    folder, count = sys.argv[1], int(sys.argv[2])
    os.makedirs(folder, exist_ok=True)
    for i in range(count):
        path = os.path.join(folder, "t%05d.bmp" % i)
        if not os.path.exists(path):
            with open(path, "wb") as f:
                f.write(bmp(i))


main()
