#!/usr/bin/env bash
# Builds the FAT volumes the volume-layout and cluster-chain tests read, with mkfs.fat, mtools
# and sfdisk, into OUTDIR. Every volume holds the same small tree (below), so that each has
# subdirectories for the layout calculation and chains of several clusters, one of them broken
# into pieces.
#
#   make_volume_images.sh OUTDIR
#
# f16_s1, f16_s4, f16_s16    bare FAT16 volumes with 1, 4 and 16 sectors per cluster
# f32_s1, f32_s2             bare FAT32 volumes with 1 and 2 sectors per cluster
# part_f32, part_f16         MBR disks with one FAT32 (type 0x0C, 1 sector per cluster) or
#                            FAT16 (type 0x06, 4 sectors per cluster) partition at sector 2048
#
# NAME.info holds "START SECTORS" of the volume. Images are rebuilt only when this script changed.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../support/image_script.sh"
StartImages make_volume_images "${1:-}" sfdisk mkfs.fat mmd mcopy mdel
readonly SECTOR=512

# A file of BYTES bytes of one repeated line.
TextFile() {  # PATH BYTES
    head -c "$2" <(yes "Lumarest cluster chain test line") >"$1"
}
TextFile "$WORK/small.txt" 3000
TextFile "$WORK/large.txt" 40000
TextFile "$WORK/filler.txt" 9000

# The tree: three folders, a large file, and a file split in two by a deleted one.
FillVolume() {  # VOLUME
    local v=$1
    mmd -i "$v" ::/DOCS ::/DOCS/LETTERS ::/PHOTOS
    mcopy -i "$v" "$WORK/small.txt" ::/DOCS/SMALL.TXT
    mcopy -i "$v" "$WORK/large.txt" ::/PHOTOS/LARGE.TXT
    mcopy -i "$v" "$WORK/filler.txt" ::/FILLER.TXT
    mcopy -i "$v" "$WORK/small.txt" ::/AFTER.TXT
    mdel -i "$v" ::/FILLER.TXT
    mcopy -i "$v" "$WORK/large.txt" ::/DOCS/LETTERS/SPLIT.TXT
}

FatVolume() {  # PATH SECTORS FATBITS SECTORS_PER_CLUSTER HIDDEN
    rm -f "$1"
    mkfs.fat --invariant -C -F "$3" -s "$4" -S $SECTOR -h "$5" "$1" $(($2 / 2)) >/dev/null
    FillVolume "$1"
}

Bare() {  # NAME SECTORS FATBITS SECTORS_PER_CLUSTER
    FatVolume "$WORK/$1.img" "$2" "$3" "$4" 0
    echo "0 $2" >"$OUTDIR/$1.info"
    mv "$WORK/$1.img" "$OUTDIR/$1.img"
}

Partitioned() {  # NAME SECTORS FATBITS SECTORS_PER_CLUSTER TYPE
    local disk=$WORK/$1.img
    rm -f "$disk"
    truncate -s $(((2048 + $2) * SECTOR)) "$disk"
    sfdisk -q --no-reread --no-tell-kernel "$disk" <<<"label: dos
start=2048, size=$2, type=$5" >/dev/null
    FatVolume "$WORK/$1.vol" "$2" "$3" "$4" 2048
    dd if="$WORK/$1.vol" of="$disk" bs=$SECTOR seek=2048 conv=notrunc,sparse status=none
    echo "2048 $2" >"$OUTDIR/$1.info"
    mv "$disk" "$OUTDIR/$1.img"
}

Bare f16_s1 32768 16 1
Bare f16_s4 32768 16 4
Bare f16_s16 131072 16 16
Bare f32_s1 81920 32 1
Bare f32_s2 143360 32 2
Partitioned part_f32 135168 32 1 c
Partitioned part_f16 65536 16 4 6

FinishImages
