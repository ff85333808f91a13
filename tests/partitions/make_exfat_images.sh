#!/usr/bin/env bash
# Builds the exFAT images the listing and refusal tests read, with mkfs.exfat, sfdisk and
# convert, into OUTDIR. The volume is 32 MiB (65536 sectors) and holds a JPEG written into its
# data area 8 MiB in (sector 16384 of the volume), for the Raw search to find.
#
#   make_exfat_images.sh OUTDIR
#
# bare.img  the volume on the whole image, with no table, as a card formatted without one
# mbr.img   MBR: the volume in a type 0x07 partition at sector 2048
# gpt.img   GPT: the volume in a basic data partition at sector 2048
#
# Images are rebuilt only when this script changed.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../support/image_script.sh"
StartImages make_exfat_images "${1:-}" mkfs.exfat sfdisk convert
readonly SECTOR=512
readonly VOLUME_SECTORS=65536
readonly PICTURE_SECTOR=16384
readonly BASIC_DATA=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7

convert -seed 5 -size 160x120 plasma:green-yellow -quality 85 "$WORK/photo.jpg"
truncate -s $((VOLUME_SECTORS * SECTOR)) "$WORK/exfat.vol"
mkfs.exfat -L CARD "$WORK/exfat.vol" >/dev/null
dd if="$WORK/photo.jpg" of="$WORK/exfat.vol" bs=$SECTOR seek=$PICTURE_SECTOR conv=notrunc \
    status=none
cp --sparse=always "$WORK/exfat.vol" "$WORK/bare.img"

# The volume at sector 2048 of a disk with room for a GPT's backup after it.
Partitioned() {  # NAME LABEL TYPE
    truncate -s $(((2048 + VOLUME_SECTORS + 2048) * SECTOR)) "$WORK/$1.img"
    sfdisk -q --no-reread --no-tell-kernel "$WORK/$1.img" >/dev/null <<TABLE
label: $2
start=2048, size=$VOLUME_SECTORS, type=$3
TABLE
    dd if="$WORK/exfat.vol" of="$WORK/$1.img" bs=$SECTOR seek=2048 conv=notrunc,sparse status=none
}
Partitioned mbr dos 7
Partitioned gpt gpt $BASIC_DATA

mv "$WORK/bare.img" "$WORK/mbr.img" "$WORK/gpt.img" "$OUTDIR/"
FinishImages
