#!/usr/bin/env python3
"""Writes the folder tree the NTFS Standard search benchmark puts on its volume.

    ntfs_tree.py OUTDIR ALBUMS EVENTS FILES_PER_FOLDER

OUTDIR is the mounted volume (or any folder that exists). ALBUMS top-level folders each hold
EVENTS folders; every folder holds FILES_PER_FOLDER files, so the volume's master file table
gets a record for each. Three files in four are small enough to live inside their record;
the fourth takes one cluster. The same arguments make the same tree on every machine.
"""
import os
import sys

# Small files keep the volume small and the writing quick: the table is what is measured.
RESIDENT_SIZES = 600
CLUSTER_SIZES = 4096


def file_size(index):
    if index % 4 == 0:
        return 1024 + (index * 7919) % (CLUSTER_SIZES - 1024)
    return 1 + (index * 7919) % RESIDENT_SIZES


def file_name(index):
    kind = index % 4
    if kind == 0:
        return "IMG_%04d.JPG" % (index % 10000)
    if kind == 1:
        return "Holiday photo %06d.jpg" % index
    if kind == 2:
        return "notes from the trip %06d.txt" % index
    return "Fotografía de la playa %06d.jpeg" % index


def folder_name(event):
    # A few names outside Latin-1, as cameras' users name their folders.
    if event % 10 == 0:
        return "Event %03d 夏休み" % event
    return "Event %03d of the year" % event


def main():
    out, albums, events, per_folder = sys.argv[1], *map(int, sys.argv[2:5])
    line = b"Lumarest NTFS standard search bench\n"
    index = 0

    def fill(folder):
        nonlocal index
        os.mkdir(folder)
        used = set()
        for _ in range(per_folder):
            index += 1
            name = file_name(index)
            while name in used:
                index += 1
                name = file_name(index)
            used.add(name)
            size = file_size(index)
            with open(os.path.join(folder, name), "wb") as f:
                f.write((line * (size // len(line) + 1))[:size])

    for album in range(1, albums + 1):
        top = os.path.join(out, "Album %03d" % album)
        fill(top)
        for event in range(1, events + 1):
            fill(os.path.join(top, folder_name(event)))


if __name__ == "__main__":
    main()
