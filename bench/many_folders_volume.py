#!/usr/bin/env python3
"""Fills every data cluster of a freshly made FAT volume with a folder's first cluster.

    many_folders_volume.py IMAGE OFFSET_BYTES

The FAT16 or FAT32 volume at OFFSET_BYTES of IMAGE (made by mkfs.fat, its FAT left free) gets,
in every cluster but the FAT32 root's, a "." entry naming that cluster, a ".." entry naming its
parent and 14 file entries (two of them deleted): a volume that is all lost folders, as a
hostile disk can be. Parents fan out by 16 from the root, so paths stay a few folders deep.
Prints how many folders it wrote. The same volume comes out on every machine.
"""
import struct
import sys

ENTRY = struct.Struct("<11sBBBHHHHHHHI")
FILES_PER_FOLDER = 14
FAN_OUT = 16
DIRECTORY = 0x10
ARCHIVE = 0x20
DELETED = 0xE5
DATE = ((2020 - 1980) << 9) | (5 << 5) | 17
TIME = (12 << 11) | (34 << 5) | 28
EXTENSIONS = (b"JPG", b"TXT", b"DOC", b"PNG", b"MP3", b"PDF", b"ZIP")


def entry(name, attributes, cluster, size):
    return ENTRY.pack(name, attributes, 0, 0, TIME, DATE, DATE, cluster >> 16, TIME, DATE,
                      cluster & 0xFFFF, size)


def folder_cluster(cluster, parent, cluster_bytes, data_clusters):
    parts = [entry(b".          ", DIRECTORY, cluster, 0),
             entry(b"..         ", DIRECTORY, parent, 0)]
    for k in range(FILES_PER_FOLDER):
        name = b"F%07d" % ((cluster * FILES_PER_FOLDER + k) % 10000000)
        name += EXTENSIONS[(cluster + k) % len(EXTENSIONS)]
        if k >= FILES_PER_FOLDER - 2:
            name = bytes([DELETED]) + name[1:]
        first = 2 + (cluster * 7919 + k) % data_clusters
        parts.append(entry(name, ARCHIVE, first, 100 + (cluster + k) % 5000))
    block = b"".join(parts)
    return block + bytes(cluster_bytes - len(block))


def main():
    path, offset = sys.argv[1], int(sys.argv[2])
    with open(path, "r+b") as image:
        image.seek(offset)
        boot = image.read(512)
        sector_bytes, per_cluster, reserved, fats, root_entries, total16 = struct.unpack_from(
            "<HBHBHH", boot, 11)
        fat16_sectors = struct.unpack_from("<H", boot, 22)[0]
        total = total16 or struct.unpack_from("<I", boot, 32)[0]
        if fat16_sectors:
            # FAT16: the root is a fixed area before the first cluster.
            fat_sectors, first = fat16_sectors, 2
        else:
            fat_sectors, first = struct.unpack_from("<I", boot, 36)[0], 1 + struct.unpack_from(
                "<I", boot, 44)[0]
        root_sectors = (root_entries * 32 + sector_bytes - 1) // sector_bytes
        data_start = reserved + fats * fat_sectors + root_sectors
        data_clusters = (total - data_start) // per_cluster
        cluster_bytes = sector_bytes * per_cluster
        image.seek(offset + (data_start + (first - 2) * per_cluster) * sector_bytes)
        for cluster in range(first, 2 + data_clusters):
            index = cluster - first
            parent = 0 if index < FAN_OUT else first + index // FAN_OUT - 1
            image.write(folder_cluster(cluster, parent, cluster_bytes, data_clusters))
        print(2 + data_clusters - first)


if __name__ == "__main__":
    main()
