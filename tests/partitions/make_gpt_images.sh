#!/usr/bin/env bash
# Builds the GPT and whole-disk images the table tests read, with sfdisk, sgdisk, mkfs.fat,
# mkntfs and mke2fs, into OUTDIR.
#
#   make_gpt_images.sh OUTDIR
#
# gpt.img          100000 sectors, GPT: FAT32 at 2048 (69632 sectors, basic data type), NTFS at
#                  71680 (16384 sectors, typed as a Linux file system), ext2 at 88064 (4096
#                  sectors, Linux type)
# hybrid.img       gpt.img with a hybrid MBR holding its first two partitions
# whole_fat32.img  a FAT32 volume of 70000 sectors made on the whole image, with a folder and
#                  two files, one deleted
# whole_ntfs.img   an NTFS volume of 32768 sectors made on the whole image, with two files
#
# Images are rebuilt only when this script changed.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../support/image_script.sh"
StartImages make_gpt_images "${1:-}" sfdisk sgdisk mkfs.fat mkntfs ntfscp mke2fs mmd mcopy mdel
readonly SECTOR=512
readonly BASIC_DATA=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7
readonly LINUX_DATA=0FC63DAF-8483-4772-8E79-3D69D8477DE4

PlaceVolume() {  # DISK VOLUME START
    dd if="$2" of="$1" bs=$SECTOR seek="$3" conv=notrunc,sparse status=none
}

truncate -s $((100000 * SECTOR)) "$WORK/gpt.img"
sfdisk -q --no-reread --no-tell-kernel "$WORK/gpt.img" >/dev/null <<TABLE
label: gpt
label-id: 4C4D5047-0000-4000-8000-000000000001
start=2048, size=69632, type=$BASIC_DATA
start=71680, size=16384, type=$LINUX_DATA
start=88064, size=4096, type=$LINUX_DATA
TABLE
mkfs.fat --invariant -C -F 32 -s 1 -S $SECTOR -h 2048 "$WORK/fat32.vol" 34816 >/dev/null 2>&1
PlaceVolume "$WORK/gpt.img" "$WORK/fat32.vol" 2048
truncate -s $((16384 * SECTOR)) "$WORK/ntfs.vol"
mkntfs -F -q -Q -s $SECTOR -c 4096 -p 71680 -H 255 -S 63 "$WORK/ntfs.vol" >/dev/null 2>&1
PlaceVolume "$WORK/gpt.img" "$WORK/ntfs.vol" 71680
truncate -s $((4096 * SECTOR)) "$WORK/ext2.vol"
mke2fs -q -F -t ext2 -E root_owner=0:0 "$WORK/ext2.vol" >/dev/null 2>&1
PlaceVolume "$WORK/gpt.img" "$WORK/ext2.vol" 88064

cp --sparse=always "$WORK/gpt.img" "$WORK/hybrid.img"
sgdisk -h 1:2 "$WORK/hybrid.img" >/dev/null

printf 'Lumarest whole disk\n' >"$WORK/a.txt"
mkfs.fat --invariant -C -F 32 -s 1 -S $SECTOR -n WHOLEFAT32 "$WORK/whole_fat32.img" 35000 \
    >/dev/null 2>&1
mmd -i "$WORK/whole_fat32.img" "::/Photos"
mcopy -i "$WORK/whole_fat32.img" "$WORK/a.txt" "::/Photos/Beach.txt"
mcopy -i "$WORK/whole_fat32.img" "$WORK/a.txt" "::/Gone.txt"
mdel -i "$WORK/whole_fat32.img" "::/Gone.txt"

truncate -s $((32768 * SECTOR)) "$WORK/whole_ntfs.img"
mkntfs -F -q -Q -s $SECTOR -c 4096 -p 0 -H 255 -S 63 -L WHOLENTFS "$WORK/whole_ntfs.img" \
    >/dev/null 2>&1
ntfscp -f "$WORK/whole_ntfs.img" "$WORK/a.txt" "Notes.txt" >/dev/null
ntfscp -f "$WORK/whole_ntfs.img" "$WORK/a.txt" "Letter.txt" >/dev/null

for name in gpt hybrid whole_fat32 whole_ntfs; do
    mv "$WORK/$name.img" "$OUTDIR/$name.img"
done
FinishImages
