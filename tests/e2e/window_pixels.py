#!/usr/bin/python3
"""Reads a window dump of xwd (24/32-bit TrueColor) and prints what the caption tests look at.

    window_pixels.py DUMP.xwd [--png OUT.png] [--band TOP BOTTOM]

Prints: width height light dark digest, where light and dark are the shares of pixels near
white and near black (of the rows TOP..BOTTOM, fractions of the height, when given) and digest
a hash of the pixels alone (the dump's header also holds the window's name and place).
"""
import hashlib
import struct
import sys
import zlib


def read_xwd(path):
    data = open(path, "rb").read()
    header = struct.unpack(">25I", data[:100])
    header_size, _, _, depth, width, height = header[:6]
    byte_order, bits_per_pixel, bytes_per_line = header[7], header[11], header[12]
    red_mask, green_mask, blue_mask, ncolors = header[14], header[15], header[16], header[19]
    if bits_per_pixel != 32 or depth < 24:
        sys.exit(f"unsupported dump: {bits_per_pixel} bits per pixel, depth {depth}")
    start = header_size + ncolors * 12
    fmt = "<I" if byte_order == 0 else ">I"
    shifts = [(m, (m & -m).bit_length() - 1) for m in (red_mask, green_mask, blue_mask)]
    rows = []
    for y in range(height):
        line = data[start + y * bytes_per_line: start + y * bytes_per_line + width * 4]
        row = []
        for (value,) in struct.iter_unpack(fmt, line):
            row.append(tuple((value & m) >> s for m, s in shifts))
        rows.append(row)
    return width, height, rows


def write_png(path, width, height, rows):
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in rows)
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")
    open(path, "wb").write(png)


def main():
    args = sys.argv[1:]
    path = args.pop(0)
    png, band = None, (0.0, 1.0)
    while args:
        option = args.pop(0)
        if option == "--png":
            png = args.pop(0)
        elif option == "--band":
            band = (float(args.pop(0)), float(args.pop(0)))
        else:
            sys.exit(f"unknown option {option}")
    width, height, rows = read_xwd(path)
    if png:
        write_png(png, width, height, rows)
    chosen = rows[int(band[0] * height):int(band[1] * height)]
    count = sum(len(r) for r in chosen) or 1
    light = sum(1 for r in chosen for p in r if min(p) >= 230) / count
    dark = sum(1 for r in chosen for p in r if max(p) <= 60) / count
    digest = hashlib.sha1(b"".join(bytes(c for p in r for c in p) for r in rows)).hexdigest()[:16]
    print(f"{width} {height} {light:.4f} {dark:.4f} {digest}")


main()
