#!/usr/bin/env python3
"""The photo side of raw_search_bench.sh: plans the photos, gives some JPEGs an Exif header (with
a thumbnail or without), lays them into the image and counts what each tool got back.

  bench_photos.py plan SEED JPEGS               -> "NAME WIDTH HEIGHT QUALITY BASE EXIF PROGRESSIVE"
                                                   lines: the JPEGs, then the PNG, GIF, BMP and
                                                   TIFF pictures (EXIF 0 none, 1 bare, 2 with a
                                                   thumbnail)
  bench_photos.py exif JPEG MAKE MODEL [THUMB]  replaces the JFIF header by a camera's Exif one,
                                                   with THUMB (a small JPEG) as its thumbnail
  bench_photos.py raw PREVIEW OUT MAKE MODEL SENSOR_BYTES SEED
                                                   writes OUT, a camera's raw photo laid out as
                                                   TIFF: its maker and model, PREVIEW (a JPEG) as
                                                   its preview and SENSOR_BYTES of sensor data
  bench_photos.py assemble IMAGE SEED PHOTO...  writes the photos at random sector offsets and
                                                   prints "NAME FIRST_SECTOR BYTES" lines
  bench_photos.py whole PHOTO_DIR FOLDER        "WHOLE JUNK MB": photos saved byte for byte under
                                                   FOLDER, saved files that are none of the
                                                   photos, and the MB saved there
"""

import collections
import hashlib
import os
import random
import struct
import sys

SECTOR = 512

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
# The pictures besides the JPEGs: kind, count and size.
OTHERS = [("png", 6, (1024, 768)), ("gif", 4, (640, 480)), ("bmp", 4, (800, 600)),
          ("tif", 6, (1600, 1200))]


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
        exif = 0 if rng.random() < 0.3 else (2 if rng.random() < 0.6 else 1)
        progressive = 1 if rng.random() < 0.15 else 0
        print(f"photo{i:03d}.jpg {width} {height} {quality} {base} {exif} {progressive}")
    for kind, number, (width, height) in OTHERS:
        for i in range(1, number + 1):
            print(f"picture{i:02d}.{kind} {width} {height} 0 {rng.randrange(BASES)} 0 0")


def exif_segment(make, model, thumbnail=b""):
    """An APP1 segment with the first IFD a camera writes: make, model, orientation, time; with a
    thumbnail, a second IFD pointing at it after the first's data."""
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
    next_ifd = 0
    if thumbnail:
        next_ifd = data_offset + len(data)
        jpeg_at = next_ifd + 2 + 3 * 12 + 4
        data += struct.pack("<H", 3)
        data += struct.pack("<HHIHH", 0x0103, 3, 1, 6, 0)
        data += struct.pack("<HHII", 0x0201, 4, 1, jpeg_at)
        data += struct.pack("<HHII", 0x0202, 4, 1, len(thumbnail))
        data += struct.pack("<I", 0) + thumbnail
    tiff = b"II*\0" + struct.pack("<I", 8) + ifd + struct.pack("<I", next_ifd) + data
    body = b"Exif\0\0" + tiff
    return b"\xff\xe1" + struct.pack(">H", len(body) + 2) + body


def exif(path, make, model, thumbnail_path=None):
    thumbnail = b""
    if thumbnail_path:
        with open(thumbnail_path, "rb") as f:
            thumbnail = f.read()
    with open(path, "rb") as f:
        jpeg = f.read()
    if jpeg[:2] != b"\xff\xd8":
        sys.exit(f"{path} is not a JPEG")
    rest = jpeg[2:]
    if rest[:2] == b"\xff\xe0":
        rest = rest[2 + struct.unpack(">H", rest[2:4])[0]:]
    with open(path, "wb") as f:
        f.write(b"\xff\xd8" + exif_segment(make, model, thumbnail) + rest)


def raw(preview_path, out, make, model, sensor_bytes, seed):
    """IFD0 with the picture's size, maker, model, one uncompressed 16-bit strip and the preview
    (JPEGInterchangeFormat); the preview on the sector after the IFD, the strip after it."""
    with open(preview_path, "rb") as f:
        preview = f.read()
    width = 4000
    rows = sensor_bytes // (2 * width)
    entries = 10
    make_at = 8 + 2 + entries * 12 + 4
    model_at = make_at + len(make) + 1
    preview_at = -(-(model_at + len(model) + 1) // SECTOR) * SECTOR
    strip_at = preview_at + len(preview)
    fields = [(0x0100, 4, 1, width), (0x0101, 4, 1, rows), (0x0102, 3, 1, 16),
              (0x0103, 3, 1, 1), (0x010F, 2, len(make) + 1, make_at),
              (0x0110, 2, len(model) + 1, model_at), (0x0111, 4, 1, strip_at),
              (0x0117, 4, 1, rows * 2 * width), (0x0201, 4, 1, preview_at),
              (0x0202, 4, 1, len(preview))]
    assert len(fields) == entries
    head = b"II*\0" + struct.pack("<IH", 8, entries)
    for tag, kind, count, value in fields:
        packed = struct.pack("<HH", value, 0) if kind == 3 else struct.pack("<I", value)
        head += struct.pack("<HHI", tag, kind, count) + packed
    head += struct.pack("<I", 0) + make.encode() + b"\0" + model.encode() + b"\0"
    sensor = random.Random(seed).randbytes(rows * 2 * width)
    with open(out, "wb") as f:
        f.write(head + bytes(preview_at - len(head)) + preview + sensor)


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


def digest(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.digest()


def whole(photo_dir, folder):
    # A few pictures come out alike byte for byte (same plan, same encoder); each laid copy
    # counts, so a tool that saves one of them saves them all.
    photos = collections.Counter(digest(os.path.join(photo_dir, name))
                                 for name in os.listdir(photo_dir)
                                 if os.path.isfile(os.path.join(photo_dir, name)))
    found = set()
    junk = 0
    written = 0
    for path in files_under(folder):
        # photorec and foremost leave their reports beside the files they recover.
        if os.path.basename(path) in ("report.xml", "audit.txt"):
            continue
        written += os.path.getsize(path)
        d = digest(path)
        if d in photos:
            found.add(d)
        else:
            junk += 1
    print(f"{sum(photos[d] for d in found)} {junk} {written / 1e6:.1f}")


def main():
    command, args = sys.argv[1], sys.argv[2:]
    if command == "plan":
        plan(int(args[0]), int(args[1]))
    elif command == "exif":
        exif(*args)
    elif command == "raw":
        raw(args[0], args[1], args[2], args[3], int(args[4]), int(args[5]))
    elif command == "assemble":
        assemble(args[0], int(args[1]), args[2:])
    elif command == "whole":
        whole(*args)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
