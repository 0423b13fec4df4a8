#!/usr/bin/env python3
"""Renders popswat-icon.svg at the seven icon sizes and packs the PNGs into popswat.ico.

Needs rsvg-convert (Debian: librsvg2-bin) or ImageMagick's convert. The .ico is
committed, so building the program needs neither.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

SIZES = [16, 24, 32, 48, 64, 128, 256]
HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.join(HERE, "popswat-icon.svg")
TARGET = os.path.join(HERE, "popswat.ico")


def render(size, out_path):
    if shutil.which("rsvg-convert"):
        subprocess.run(["rsvg-convert", "-w", str(size), "-h", str(size), "-o", out_path, SOURCE], check=True)
    elif shutil.which("convert"):
        subprocess.run(["convert", "-background", "none", "-density", str(72 * size // 256 * 4 or 72), SOURCE,
                        "-resize", f"{size}x{size}", f"PNG32:{out_path}"], check=True)
    else:
        sys.exit("make-icon.py: install rsvg-convert (librsvg2-bin) or ImageMagick")


def png_is_rgba(data, size):
    # IHDR: width, height, bit depth 8, colour type 6 (RGBA).
    width, height, depth, colour = struct.unpack(">IIBB", data[16:26])
    return data[:8] == b"\x89PNG\r\n\x1a\n" and (width, height, depth, colour) == (size, size, 8, 6)


def pack(images):
    # ICONDIR, then one ICONDIRENTRY per image; a width or height of 256 is stored as 0.
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries, blobs = b"", b""
    for size, data in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        blobs += data
        offset += len(data)
    return header + entries + blobs


def main():
    images = []
    with tempfile.TemporaryDirectory() as scratch:
        for size in SIZES:
            path = os.path.join(scratch, f"{size}.png")
            render(size, path)
            with open(path, "rb") as f:
                data = f.read()
            if not png_is_rgba(data, size):
                sys.exit(f"make-icon.py: the {size}-pixel image is not 8-bit RGBA")
            images.append((size, data))
    with open(TARGET, "wb") as f:
        f.write(pack(images))
    print(f"wrote {TARGET}: {', '.join(str(s) for s in SIZES)} px")


if __name__ == "__main__":
    main()
