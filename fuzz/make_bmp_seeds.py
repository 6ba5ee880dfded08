#!/usr/bin/env python3
"""Writes the seed corpus of the BMP reader's fuzz target: one small valid
bitmap of every variant the reader accepts. Run from any directory."""

import pathlib
import struct

OUT = pathlib.Path(__file__).resolve().parent / "corpus" / "bmp_reader_fuzz"
WIDTH, HEIGHT = 5, 3


def palette(entries, entry_bytes):
    table = b""
    for i in range(entries):
        table += bytes([(i * 37) & 0xFF, (i * 91 + 7) & 0xFF, (255 - i) & 0xFF])
        table += b"\0" * (entry_bytes - 3)
    return table


def pad(row):
    return row + b"\0" * (-len(row) % 4)


def packed_rows(bits, width, height):
    data = b""
    for y in range(height):
        value, count, row = 0, 0, b""
        for x in range(width):
            value = value << bits | ((x + 2 * y) % (1 << bits))
            count += bits
            if count == 8:
                row, value, count = row + bytes([value]), 0, 0
        if count:
            row += bytes([value << (8 - count)])
        data += pad(row)
    return data


def true_colour_rows(width, height):
    data = b""
    for y in range(height):
        row = b"".join(bytes([(x * 50) & 0xFF, (y * 80) & 0xFF, ((x + y) * 20) & 0xFF])
                       for x in range(width))
        data += pad(row)
    return data


def bitmap(header_size, bits, compression, width, height, pixels):
    entries = 0 if bits == 24 else 1 << bits
    if header_size == 12:
        header = struct.pack("<IHHHH", 12, width, height, 1, bits)
        table = palette(entries, 3)
    else:
        header = struct.pack("<IiiHHIIiiII", header_size, width, height, 1, bits,
                             compression, len(pixels), 2835, 2835, 0, 0)
        header += b"\0" * (header_size - 40)
        table = palette(entries, 4)
    offset = 14 + len(header) + len(table)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return file_header + header + table + pixels


# Runs, a delta, an end of line, an absolute run with its padding byte, end of bitmap.
RLE8 = bytes([0x03, 0x07, 0x00, 0x02, 0x00, 0x01, 0x02, 0x01, 0x00, 0x00,
              0x00, 0x03, 0x04, 0x05, 0x06, 0x00, 0x02, 0x09, 0x00, 0x01])
RLE4 = bytes([0x05, 0x1F, 0x00, 0x00,
              0x00, 0x05, 0x12, 0x34, 0x50, 0x00, 0x00, 0x00,
              0x00, 0x02, 0x02, 0x00, 0x03, 0xAB, 0x00, 0x01])

SEEDS = {
    "info-1bit.bmp": bitmap(40, 1, 0, WIDTH, HEIGHT, packed_rows(1, WIDTH, HEIGHT)),
    "info-4bit.bmp": bitmap(40, 4, 0, WIDTH, HEIGHT, packed_rows(4, WIDTH, HEIGHT)),
    "info-8bit.bmp": bitmap(40, 8, 0, WIDTH, HEIGHT, packed_rows(8, WIDTH, HEIGHT)),
    "info-24bit.bmp": bitmap(40, 24, 0, WIDTH, HEIGHT, true_colour_rows(WIDTH, HEIGHT)),
    "core-1bit.bmp": bitmap(12, 1, 0, WIDTH, HEIGHT, packed_rows(1, WIDTH, HEIGHT)),
    "core-4bit.bmp": bitmap(12, 4, 0, WIDTH, HEIGHT, packed_rows(4, WIDTH, HEIGHT)),
    "core-8bit.bmp": bitmap(12, 8, 0, WIDTH, HEIGHT, packed_rows(8, WIDTH, HEIGHT)),
    "core-24bit.bmp": bitmap(12, 24, 0, WIDTH, HEIGHT, true_colour_rows(WIDTH, HEIGHT)),
    "info-rle8.bmp": bitmap(40, 8, 1, WIDTH, HEIGHT, RLE8),
    "info-rle4.bmp": bitmap(40, 4, 2, WIDTH, HEIGHT, RLE4),
    "topdown-8bit.bmp": bitmap(40, 8, 0, WIDTH, -HEIGHT, packed_rows(8, WIDTH, HEIGHT)),
    "topdown-24bit.bmp": bitmap(40, 24, 0, WIDTH, -HEIGHT, true_colour_rows(WIDTH, HEIGHT)),
    "v4-24bit.bmp": bitmap(108, 24, 0, WIDTH, HEIGHT, true_colour_rows(WIDTH, HEIGHT)),
}

OUT.mkdir(parents=True, exist_ok=True)
for name, data in SEEDS.items():
    (OUT / name).write_bytes(data)
