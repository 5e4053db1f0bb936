#!/usr/bin/env python3
"""Prints the code of each numbered test page given (PNM files, or any picture ImageMagick's
convert reads), one a line: the eight boxes near the top read as binary, most significant
first, a dark box a 1 (see FeederBackend.c and EsclScanner.py). "blank" for a page with no
box dark, "?" for one that cannot be read."""

import subprocess
import sys


def read_pnm(data):
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    magic, width, height, _ = fields[0], int(fields[1]), int(fields[2]), int(fields[3])
    pixels = data[pos + 1:]
    channels = 3 if magic == b"P6" else 1
    if magic not in (b"P5", b"P6"):
        raise ValueError("not a binary PNM")
    return width, height, channels, pixels


def grey_at(image, x, y):
    width, _, channels, pixels = image
    at = (y * width + x) * channels
    if channels == 1:
        return pixels[at]
    r, g, b = pixels[at:at + 3]
    return (r * 299 + g * 587 + b * 114) // 1000


def code(path):
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith((b"P5", b"P6")):
        data = subprocess.run(["convert", path, "ppm:-"], check=True,
                              capture_output=True).stdout
    image = read_pnm(data)
    width, height = image[0], image[1]
    tenth = width // 10
    if tenth < 2 or height < 20:
        return "?"
    y = height * 7 // 100
    value = 0
    for box in range(8):
        x = tenth + box * tenth + tenth * 4 // 10
        value = value * 2 + (1 if grey_at(image, x, y) < 128 else 0)
    return "blank" if value == 0 else str(value)


if __name__ == "__main__":
    for name in sys.argv[1:]:
        try:
            print(code(name))
        except (OSError, ValueError, subprocess.CalledProcessError):
            print("?")
