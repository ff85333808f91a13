#!/usr/bin/env python3
"""The photo side of raw_search_bench.sh: plans the photos, gives some an Exif header, lays them
into the image and counts how many each tool got back whole.

  bench_photos.py plan SEED COUNT            -> "NAME WIDTH HEIGHT QUALITY BASE EXIF" lines
  bench_photos.py exif JPEG MAKE MODEL        replaces the JFIF header by a camera's Exif one
  bench_photos.py assemble IMAGE SEED PHOTO... writes the photos at random sector offsets and
                                              prints "NAME FIRST_SECTOR BYTES" lines
  bench_photos.py whole PHOTO_DIR FOLDER      photos that are a prefix of a file under FOLDER
"""

import hashlib
import os
import random
import struct
import sys

SECTOR = 512
PREFIX = 4096  # enough to tell the photos apart before comparing them whole

# Width, height and the share of photos: web pictures, small cameras, phones and cameras.
RESOLUTIONS = [
    ((640, 480), 8),
    ((800, 600), 7),
    ((1024, 768), 10),
    ((1280, 960), 10),
    ((1600, 1200), 12),
    ((2048, 1536), 13),
    ((2592, 1944), 15),
    ((3264, 2448), 15),
    ((4000, 3000), 10),
]
BASES = 6


def plan(seed, count):
    rng = random.Random(seed)
    sizes = [r for r, _ in RESOLUTIONS]
    weights = [w for _, w in RESOLUTIONS]
    for i in range(1, count + 1):
        width, height = rng.choices(sizes, weights)[0]
        if rng.random() < 0.25:
            width, height = height, width  # portrait
        # Cameras save at high quality; web pictures are squeezed harder.
        camera = width * height >= 2048 * 1536
        quality = rng.randint(80, 95) if camera else rng.randint(70, 95)
        base = rng.randrange(BASES)
        exif = 1 if rng.random() < 0.6 else 0
        print(f"photo{i:03d}.jpg {width} {height} {quality} {base} {exif}")


def exif_segment(make, model):
    """An APP1 segment with the first IFD a camera writes: make, model, orientation, time."""
    strings = [(0x010F, make.encode() + b"\0"), (0x0110, model.encode() + b"\0"),
               (0x0132, b"2009:07:14 10:30:00\0")]
    entries = len(strings) + 1
    data_offset = 8 + 2 + entries * 12 + 4
    ifd = struct.pack("<H", entries)
    data = b""
    for tag, value in strings[:2]:
        ifd += struct.pack("<HHII", tag, 2, len(value), data_offset + len(data))
        data += value
    ifd += struct.pack("<HHIHH", 0x0112, 3, 1, 1, 0)
    tag, value = strings[2]
    ifd += struct.pack("<HHII", tag, 2, len(value), data_offset + len(data))
    data += value
    tiff = b"II*\0" + struct.pack("<I", 8) + ifd + struct.pack("<I", 0) + data
    body = b"Exif\0\0" + tiff
    return b"\xff\xe1" + struct.pack(">H", len(body) + 2) + body


def exif(path, make, model):
    with open(path, "rb") as f:
        jpeg = f.read()
    if jpeg[:2] != b"\xff\xd8":
        sys.exit(f"{path} is not a JPEG")
    rest = jpeg[2:]
    if rest[:2] == b"\xff\xe0":
        rest = rest[2 + struct.unpack(">H", rest[2:4])[0]:]
    with open(path, "wb") as f:
        f.write(b"\xff\xd8" + exif_segment(make, model) + rest)


def assemble(image, seed, photos):
    """Random gaps of filler between the photos, in a shuffled order, all sector-aligned."""
    rng = random.Random(seed)
    photos = list(photos)
    rng.shuffle(photos)
    total = os.path.getsize(image) // SECTOR
    lengths = [(os.path.getsize(p) + SECTOR - 1) // SECTOR for p in photos]
    free = total - 2048 - sum(lengths)
    if free < 0:
        sys.exit("the photos do not fit the image")
    cuts = sorted(rng.randrange(free) for _ in photos)
    sector = 2048
    previous = 0
    with open(image, "r+b") as out:
        for photo, length, cut in zip(photos, lengths, cuts):
            sector += cut - previous
            previous = cut
            with open(photo, "rb") as f:
                out.seek(sector * SECTOR)
                out.write(f.read())
            print(f"{os.path.basename(photo)} {sector} {os.path.getsize(photo)}")
            sector += length


def files_under(folder):
    for root, _, names in os.walk(folder):
        for name in names:
            yield os.path.join(root, name)


def whole(photo_dir, folder):
    by_prefix = {}
    for name in os.listdir(photo_dir):
        if name.endswith(".jpg"):
            with open(os.path.join(photo_dir, name), "rb") as f:
                data = f.read()
            by_prefix.setdefault(hashlib.sha256(data[:PREFIX]).digest(), []).append(data)
    found = set()
    for path in files_under(folder):
        with open(path, "rb") as f:
            head = f.read(PREFIX)
            candidates = by_prefix.get(hashlib.sha256(head).digest(), [])
            if not candidates:
                continue
            f.seek(0)
            data = f.read(max(len(c) for c in candidates))
        for candidate in candidates:
            if data[:len(candidate)] == candidate:
                found.add(hashlib.sha256(candidate).digest())
    print(len(found))


def main():
    command, args = sys.argv[1], sys.argv[2:]
    if command == "plan":
        plan(int(args[0]), int(args[1]))
    elif command == "exif":
        exif(*args)
    elif command == "assemble":
        assemble(args[0], int(args[1]), args[2:])
    elif command == "whole":
        whole(*args)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
