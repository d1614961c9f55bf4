#!/usr/bin/env python3
"""Pack raw RGBA pictures into a Windows .ico file, byte for byte.

Usage: make_ico.py OUT.ico SIZE:KIND:FILE [SIZE:KIND:FILE ...]

Each FILE holds SIZE*SIZE pixels of 8-bit R, G, B, A (straight alpha, top
row first), as written by ImageMagick's "RGBA:" coder. KIND picks how the
image is stored in the icon:

  8    BMP, 8 bits per pixel, 256-entry palette, 1-bit AND mask
  24   BMP, 24 bits per pixel, 1-bit AND mask
  32   BMP, 32 bits per pixel with straight alpha, AND mask from the alpha
  png  PNG, RGBA (colour type 6), 8 bits per channel

Images are written in the order given. ImageMagick cannot be told the bit
depth of each image inside one .ico, which is why this packer exists.

Pixels with alpha below 128 count as transparent wherever only a 1-bit mask
is available; their colour bits are written as zero (black) so that the
classic AND/XOR drawing leaves the screen untouched there.
"""

import struct
import sys
import zlib

ALPHA_CUT = 128


def read_rgba(path, size):
    with open(path, "rb") as f:
        data = f.read()
    if len(data) != size * size * 4:
        raise SystemExit(f"{path}: expected {size * size * 4} bytes of RGBA, got {len(data)}")
    return [tuple(data[i:i + 4]) for i in range(0, len(data), 4)]


def row_stride(bits_per_row):
    """Bytes per BMP row: rows are padded to a multiple of four bytes."""
    return ((bits_per_row + 31) // 32) * 4


def and_mask(pixels, size):
    """1-bit mask, bottom row first; a set bit means transparent."""
    stride = row_stride(size)
    out = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(stride)
        for x in range(size):
            if pixels[y * size + x][3] < ALPHA_CUT:
                row[x >> 3] |= 0x80 >> (x & 7)
        out += row
    return bytes(out)


def info_header(size, bit_count, image_bytes, colours_used):
    # BITMAPINFOHEADER; the height counts the XOR image and the AND mask.
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bit_count, 0,
                       image_bytes, 0, 0, colours_used, 0)


# ---------------------------------------------------------------- palette

def _mean(colours):
    total = sum(n for _, n in colours)
    return tuple((sum(c[i] * n for c, n in colours) + total // 2) // total for i in range(3))


def _nearest(colour, palette):
    best, best_d = 0, None
    r, g, b = colour
    for i, (pr, pg, pb) in enumerate(palette):
        d = (r - pr) ** 2 * 3 + (g - pg) ** 2 * 4 + (b - pb) ** 2 * 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def build_palette(colours, limit):
    """Median cut over {rgb: count}, polished by a few k-means rounds.

    Deterministic: every choice breaks ties by a fixed order.
    """
    items = sorted(colours.items())
    if len(items) <= limit:
        return [c for c, _ in items]

    def spread(box):
        lo = [min(c[i] for c, _ in box) for i in range(3)]
        hi = [max(c[i] for c, _ in box) for i in range(3)]
        axis = max(range(3), key=lambda i: (hi[i] - lo[i], -i))
        return (hi[axis] - lo[axis]) * sum(n for _, n in box) ** 0.5, axis

    boxes = [items]
    while len(boxes) < limit:
        scored = [(spread(b), i) for i, b in enumerate(boxes) if len(b) > 1]
        if not scored:
            break
        (score, axis), idx = max(scored, key=lambda t: (t[0][0], -t[1]))
        if score == 0:
            break
        box = sorted(boxes[idx], key=lambda t: (t[0][axis], t[0]))
        half = sum(n for _, n in box) / 2
        run, cut = 0, 1
        for k, (_, n) in enumerate(box[:-1]):
            run += n
            cut = k + 1
            if run >= half:
                break
        boxes[idx:idx + 1] = [box[:cut], box[cut:]]

    palette = [_mean(b) for b in boxes]
    for _ in range(4):
        groups = [[] for _ in palette]
        for c, n in items:
            groups[_nearest(c, palette)].append((c, n))
        palette = [_mean(g) if g else p for g, p in zip(groups, palette)]
    return palette


# ---------------------------------------------------------------- encoders

def bmp_8bit(pixels, size):
    # Index 0 stays black: masked-out pixels point at it.
    counts = {}
    for r, g, b, a in pixels:
        if a >= ALPHA_CUT:
            counts[(r, g, b)] = counts.get((r, g, b), 0) + 1
    palette = [(0, 0, 0)] + build_palette(counts, 255)
    lookup = {}
    stride = row_stride(size * 8)
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(stride)
        for x in range(size):
            r, g, b, a = pixels[y * size + x]
            if a >= ALPHA_CUT:
                key = (r, g, b)
                if key not in lookup:
                    lookup[key] = 1 + _nearest(key, palette[1:])
                row[x] = lookup[key]
        xor += row
    mask = and_mask(pixels, size)
    quads = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in palette)
    quads += bytes(4 * (256 - len(palette)))
    return info_header(size, 8, len(xor) + len(mask), 256) + quads + bytes(xor) + mask


def bmp_24bit(pixels, size):
    stride = row_stride(size * 24)
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(stride)
        for x in range(size):
            r, g, b, a = pixels[y * size + x]
            if a >= ALPHA_CUT:
                row[3 * x:3 * x + 3] = bytes((b, g, r))
        xor += row
    mask = and_mask(pixels, size)
    return info_header(size, 24, len(xor) + len(mask), 0) + bytes(xor) + mask


def bmp_32bit(pixels, size):
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        for x in range(size):
            r, g, b, a = pixels[y * size + x]
            xor += bytes((b, g, r, a)) if a else bytes(4)
    mask = and_mask(pixels, size)
    return info_header(size, 32, len(xor) + len(mask), 0) + bytes(xor) + mask


def _png_chunk(kind, body):
    return (struct.pack(">I", len(body)) + kind + body
            + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def png_rgba(pixels, size):
    raw = bytearray()
    prev = bytes(size * 4)
    for y in range(size):
        line = bytes(v for p in pixels[y * size:(y + 1) * size] for v in (p if p[3] else (0, 0, 0, 0)))
        candidates = []
        for ftype in range(5):
            out = bytearray()
            for i, v in enumerate(line):
                a = line[i - 4] if i >= 4 else 0
                b = prev[i]
                c = prev[i - 4] if i >= 4 else 0
                pred = (0, a, b, (a + b) // 2, _paeth(a, b, c))[ftype]
                out.append((v - pred) & 0xFF)
            cost = sum(v if v < 128 else 256 - v for v in out)
            candidates.append((cost, ftype, out))
        cost, ftype, out = min(candidates, key=lambda t: (t[0], t[1]))
        raw.append(ftype)
        raw += out
        prev = line
    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + _png_chunk(b"IHDR", ihdr)
            + _png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + _png_chunk(b"IEND", b""))


ENCODERS = {"8": (bmp_8bit, 8), "24": (bmp_24bit, 24), "32": (bmp_32bit, 32), "png": (png_rgba, 32)}


def main(argv):
    if len(argv) < 3:
        raise SystemExit(__doc__)
    out_path, wanted = argv[1], argv[2:]
    entries = []
    for arg in wanted:
        try:
            size_text, kind, path = arg.split(":", 2)
            size = int(size_text)
            encode, bit_count = ENCODERS[kind]
        except (ValueError, KeyError):
            raise SystemExit(f"bad image argument {arg!r}; want SIZE:8|24|32|png:FILE")
        if not 1 <= size <= 256:
            raise SystemExit(f"{arg}: size must be 1..256")
        entries.append((size, bit_count, encode(read_rgba(path, size), size)))

    offset = 6 + 16 * len(entries)
    directory = struct.pack("<HHH", 0, 1, len(entries))
    for size, bit_count, blob in entries:
        # ICONDIRENTRY: a width or height of 256 is written as 0.
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bit_count,
                                 len(blob), offset)
        offset += len(blob)
    with open(out_path, "wb") as f:
        f.write(directory + b"".join(blob for _, _, blob in entries))


if __name__ == "__main__":
    main(sys.argv)
