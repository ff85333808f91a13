#!/usr/bin/env python3
"""Counts the records in an NTFS volume's master file table, for the benchmark's figures.

    ntfs_mft_count.py IMAGE OFFSET_BYTES

Prints one line: the table's slots, its records (slots holding a record), the records in
use, the folders and files in use, and the records not in use (deleted, or formatted and
never used). Reads only.
"""
import struct
import sys

ATTR_DATA = 0x80
ATTR_END = 0xFFFFFFFF
IN_USE = 0x01
DIRECTORY = 0x02


def fixed_up(record, sector_size):
    """The record with each sector's last two bytes put back from the update sequence."""
    offset, count = struct.unpack_from("<HH", record, 4)
    data = bytearray(record)
    for i in range(1, count):
        end = i * sector_size - 2
        if end + 2 > len(data):
            break
        data[end : end + 2] = record[offset + 2 * i : offset + 2 * i + 2]
    return bytes(data)


def data_runs(attribute):
    """The (first cluster, cluster count) pieces of a non-resident attribute."""
    at = struct.unpack_from("<H", attribute, 0x20)[0]
    runs, lcn = [], 0
    while at < len(attribute) and attribute[at] != 0:
        header = attribute[at]
        length_bytes, offset_bytes = header & 0x0F, header >> 4
        length = int.from_bytes(attribute[at + 1 : at + 1 + length_bytes], "little")
        start = at + 1 + length_bytes
        delta = int.from_bytes(attribute[start : start + offset_bytes], "little", signed=True)
        lcn += delta
        runs.append((lcn, length))
        at = start + offset_bytes
    return runs


def mft_data(record):
    at = struct.unpack_from("<H", record, 0x14)[0]
    while at + 8 <= len(record):
        kind, length = struct.unpack_from("<II", record, at)
        if kind == ATTR_END or length == 0:
            break
        attribute = record[at : at + length]
        if kind == ATTR_DATA and attribute[9] == 0:
            return data_runs(attribute), struct.unpack_from("<Q", attribute, 0x30)[0]
        at += length
    sys.exit("the table's own record has no data attribute")


def main():
    image, offset = sys.argv[1], int(sys.argv[2])
    with open(image, "rb") as disk:
        disk.seek(offset)
        boot = disk.read(512)
        sector_size = struct.unpack_from("<H", boot, 0x0B)[0]
        cluster = sector_size * boot[0x0D]
        mft_cluster = struct.unpack_from("<Q", boot, 0x30)[0]
        per_record = struct.unpack_from("<b", boot, 0x40)[0]
        record_size = per_record * cluster if per_record > 0 else 1 << -per_record
        disk.seek(offset + mft_cluster * cluster)
        runs, size = mft_data(fixed_up(disk.read(record_size), sector_size))
        slots = size // record_size
        counts = {"records": 0, "in use": 0, "folders": 0, "files": 0, "not in use": 0}
        left = slots
        for lcn, length in runs:
            disk.seek(offset + lcn * cluster)
            take = min(left, length * cluster // record_size)
            table = disk.read(take * record_size)
            for at in range(0, len(table), record_size):
                if table[at : at + 4] != b"FILE":
                    continue
                counts["records"] += 1
                flags = struct.unpack_from("<H", table, at + 0x16)[0]
                if flags & IN_USE:
                    counts["in use"] += 1
                    counts["folders" if flags & DIRECTORY else "files"] += 1
                else:
                    counts["not in use"] += 1
            left -= take
    print(slots, *counts.values())


if __name__ == "__main__":
    main()
