#!/usr/bin/env bash
# Builds disks whose volumes or whose own sectors are larger than 512 bytes, into OUTDIR.
#
#   make_large_sector_images.sh OUTDIR
#
# f32_4k, f16_4k, f32_2k, f16_1k   MBR disks with one FAT volume at sector 2048 made with
#                                  that many bytes per sector (mkfs.fat -S), holding the tree below
# ntfs_4k                          the same with an NTFS volume of 4096-byte sectors (mkntfs -s)
# vol_f32_4k                       a FAT32 volume of 4096-byte sectors alone, no partition table
# gpt_4k                           a GPT disk of 4096-byte sectors (fdisk -b 4096): its header at
#                                  byte 4096, a FAT16 and an NTFS volume of 4096-byte sectors
#
# Images are rebuilt only when this script changed.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/image_script.sh"
StartImages make_large_sector_images "${1:-}" sfdisk fdisk mkfs.fat mkntfs ntfscp mmd mcopy mdel

head -c 3000 <(yes "Lumarest large sector line") >"$WORK/small.txt"
head -c 40000 <(yes "Lumarest large sector line") >"$WORK/large.txt"

# Folders two deep, files of one and of many clusters, and a deleted file.
FillFat() {  # VOLUME
    local v=$1
    mmd -i "$v" ::/DOCS ::/DOCS/LETTERS ::/PHOTOS
    mcopy -i "$v" "$WORK/small.txt" ::/DOCS/SMALL.TXT
    mcopy -i "$v" "$WORK/large.txt" ::/PHOTOS/LARGE.TXT
    mcopy -i "$v" "$WORK/small.txt" ::/GONE.TXT
    mcopy -i "$v" "$WORK/large.txt" ::/DOCS/LETTERS/LETTER.TXT
    mdel -i "$v" ::/GONE.TXT
}

# A volume file put into an MBR disk at sector 2048 (the table counts 512-byte sectors).
InMbrDisk() {  # NAME VOLUME TYPE
    local disk=$WORK/$1.img bytes
    bytes=$(stat -c %s "$2")
    truncate -s $((2048 * 512 + bytes)) "$disk"
    sfdisk -q --no-reread --no-tell-kernel "$disk" <<<"label: dos
start=2048, size=$((bytes / 512)), type=$3" >/dev/null
    dd if="$2" of="$disk" bs=512 seek=2048 conv=notrunc,sparse status=none
    mv "$disk" "$OUTDIR/$1.img"
}

FatDisk() {  # NAME FATBITS SECTOR_BYTES KIB TYPE
    local v=$WORK/$1.vol
    mkfs.fat --invariant -C -F "$2" -s 1 -S "$3" -h 2048 "$v" "$4" >/dev/null
    FillFat "$v"
    InMbrDisk "$1" "$v" "$5"
}

FatDisk f32_4k 32 4096 $((300 * 1024)) c
FatDisk f16_4k 16 4096 $((32 * 1024)) 6
FatDisk f32_2k 32 2048 $((150 * 1024)) c
FatDisk f16_1k 16 1024 $((8 * 1024)) 6

mkfs.fat --invariant -C -F 32 -s 1 -S 4096 "$WORK/vol_f32_4k.img" $((300 * 1024)) >/dev/null
FillFat "$WORK/vol_f32_4k.img"
mv "$WORK/vol_f32_4k.img" "$OUTDIR/vol_f32_4k.img"

truncate -s 64M "$WORK/ntfs.vol"
mkntfs -F -q -Q -s 4096 -c 4096 -p 2048 -H 255 -S 63 "$WORK/ntfs.vol" >/dev/null 2>&1
ntfscp -f "$WORK/ntfs.vol" "$WORK/small.txt" SMALL.TXT >/dev/null
InMbrDisk ntfs_4k "$WORK/ntfs.vol" 7

# Partition 1 (disk sectors 256-8447) holds a FAT16 volume, partition 2 (8448-24831) an NTFS
# one, both of 4096-byte sectors.
truncate -s 128M "$WORK/gpt_4k.img"
printf 'g\nn\n1\n256\n+32M\nn\n2\n\n+64M\nw\n' | fdisk -b 4096 "$WORK/gpt_4k.img" >/dev/null 2>&1
mkfs.fat --invariant -C -F 16 -s 1 -S 4096 "$WORK/gpt_fat.vol" $((32 * 1024)) >/dev/null
FillFat "$WORK/gpt_fat.vol"
dd if="$WORK/gpt_fat.vol" of="$WORK/gpt_4k.img" bs=4096 seek=256 conv=notrunc,sparse status=none
dd if="$WORK/ntfs.vol" of="$WORK/gpt_4k.img" bs=4096 seek=8448 conv=notrunc,sparse status=none
mv "$WORK/gpt_4k.img" "$OUTDIR/gpt_4k.img"

FinishImages
