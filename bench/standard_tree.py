#!/usr/bin/env python3
"""Writes the folder tree the Standard search benchmark copies onto its FAT32 volume.

    standard_tree.py OUTDIR ALBUMS EVENTS FILES_PER_FOLDER

ALBUMS top-level folders, each holding EVENTS folders; every folder holds FILES_PER_FOLDER
files. Names mix 8.3 names and long names; sizes run from 1 to 16 KiB. The same arguments
make the same tree on every machine.
"""
import os
import sys


def file_bytes(index):
    # Sizes spread over 1 to 16 KiB so files take one to several clusters.
    size = 1024 + (index * 7919) % (15 * 1024)
    return (b"Lumarest standard search bench %08d\n" % index) * (size // 40 + 1)


def file_name(index):
    if index % 3 == 0:
        return "IMG_%04d.JPG" % (index % 10000)
    if index % 3 == 1:
        return "Holiday photo %06d.jpg" % index
    return "notes from the trip %06d.txt" % index


def main():
    out, albums, events, per_folder = sys.argv[1], *map(int, sys.argv[2:5])
    index = 0

    def fill(folder):
        nonlocal index
        os.makedirs(folder)
        used = set()
        for _ in range(per_folder):
            index += 1
            name = file_name(index)
            while name in used:
                index += 1
                name = file_name(index)
            used.add(name)
            data = file_bytes(index)
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data[: 1024 + (index * 7919) % (15 * 1024)])

    for album in range(1, albums + 1):
        top = os.path.join(out, "Album %03d" % album)
        fill(top)
        for event in range(1, events + 1):
            fill(os.path.join(top, "Event %03d of the year" % event))


if __name__ == "__main__":
    main()
