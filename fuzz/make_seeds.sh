#!/usr/bin/env bash
# Cuts fuzz seeds out of the test volumes the fixture builder made, so no disk bytes are kept
# in the repository: boot sectors with what follows them, and runs of directory sectors.
#
#   fuzz/make_seeds.sh FIXTURE_DIR OUT_DIR
#
# Each seed starts with the header bytes its fuzz target reads (see the target's comment).
# Volumes that were not made give no seeds; fuzzing then starts from the committed ones.
set -euo pipefail

readonly FIXTURES=$1 OUT=$2
readonly SECTOR=512

# Unsigned little-endian number of WIDTH bytes at OFFSET of FILE.
Number() {  # FILE OFFSET WIDTH
    od -An -t "u$3" -j "$2" -N "$3" --endian=little "$1" | tr -d ' '
}

# HEADER bytes (octal escapes), then COUNT sectors of IMAGE from FIRST.
Seed() {  # TARGET NAME HEADER IMAGE FIRST COUNT
    mkdir -p "$OUT/$1"
    {
        printf '%b' "$3"
        dd if="$4" bs=$SECTOR skip="$5" count="$6" status=none
    } >"$OUT/$1/$2"
}

fat16=$FIXTURES/fat16.img
fat32=$FIXTURES/fat32.img
ntfs=$FIXTURES/ntfs.img

if [[ -f $fat16 ]]; then
    reserved=$(Number "$fat16" 14 2)
    fats=$(Number "$fat16" 16 1)
    rootEntries=$(Number "$fat16" 17 2)
    perFat=$(Number "$fat16" 22 2)
    spc=$(Number "$fat16" 13 1)
    root=$((reserved + fats * perFat))
    data=$((root + rootEntries * 32 / SECTOR))
    Seed boot_sector_fuzz fat16_volume '\0\0\0' "$fat16" 0 64
    # Byte 0: FAT16 with its sectors per cluster; the rest picks the first sector read.
    Seed directory_entry_fuzz fat16_root '\0\0\0' "$fat16" "$root" 16
    Seed directory_entry_fuzz fat16_folders "\\$(printf '%03o' $(((spc - 1) << 1)))\\0\\0" \
        "$fat16" "$data" 16
    # Byte 0: FAT16 looked for, no table records; the rest is the disk searched.
    Seed found_volume_analysis_fuzz fat16_volume '\0' "$fat16" 0 120
fi
if [[ -f $fat32 ]]; then
    reserved=$(Number "$fat32" 14 2)
    fats=$(Number "$fat32" 16 1)
    perFat=$(Number "$fat32" 36 4)
    data=$((reserved + fats * perFat))
    Seed boot_sector_fuzz fat32_volume '\001\0\0' "$fat32" 0 64
    Seed directory_entry_fuzz fat32_folders '\001\0\0' "$fat32" "$data" 16
    Seed found_volume_analysis_fuzz fat32_folders '\001' "$fat32" "$data" 120
fi
if [[ -f $ntfs ]]; then
    Seed boot_sector_fuzz ntfs_volume '\002\0\0' "$ntfs" 0 64
fi
small=$FIXTURES/advance_ntfs/small1024-wiped.img
if [[ -f $small ]]; then
    # Byte 0: the selection from sector 0, no rows added; the disk is the start of a volume
    # whose boot sector is gone, its master file table's first records in it.
    Seed ntfs_raw_scan_fuzz mft_volume '\0' "$small" 2048 256
fi
gpt=$FIXTURES/gpt_test/gpt.img
if [[ -f $gpt ]]; then
    # Byte 0: 512-byte sectors, CRCs as the disk has them, a disk of 40 sectors: the protective
    # MBR, the header and its entries.
    Seed gpt_table_fuzz gpt_disk '\004' "$gpt" 0 40
fi
exfat=$FIXTURES/exfat_test/bare.img
if [[ -f $exfat ]]; then
    # Byte 0: a 64-sector disk, starts kept; the disk is an exFAT volume on the whole of it.
    Seed partition_table_fuzz exfat_whole_disk '\0' "$exfat" 0 64
    # No geometry of its own, a disk of 65536 sectors; the first chunk, one track into the
    # first cylinder, is the exFAT boot sector.
    Seed partition_search_fuzz exfat_volume '\0\0\0\0\0\0\0\0\0\001' "$exfat" 0 1
fi
samples=$FIXTURES/sample_pictures
if [[ -d $samples ]]; then
    # Whole small files of each carved type, as the format checks see a carved file.
    mkdir -p "$OUT/carved_format_fuzz"
    find "$samples" -maxdepth 1 -type f ! -name '.*' -size -40k \
        -exec cp -t "$OUT/carved_format_fuzz" {} +
fi
