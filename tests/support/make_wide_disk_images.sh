#!/usr/bin/env bash
# Builds a disk whose volumes lie past the first 2 TiB, into OUTDIR.
#
#   make_wide_disk_images.sh OUTDIR
#
# wide_gpt.img   a sparse 3 TiB GPT disk (a few MiB on disk): partition 1 a 64 MiB FAT32
#                volume at sector 4400000000 (folders, files, a deleted file), partition 2 a
#                64 MiB NTFS volume at sector 5000000000 (files in its root)
# small.txt, large.txt   the files both volumes were filled with
#
# Images are rebuilt only when this script changed.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/image_script.sh"
StartImages make_wide_disk_images "${1:-}" sfdisk mkfs.fat mkntfs ntfscp mmd mcopy mdel

FAT_START=4400000000
NTFS_START=5000000000
VOLUME_SECTORS=131072

head -c 3000 <(yes "Lumarest wide disk line") >"$OUTDIR/small.txt"
head -c 300000 <(yes "Lumarest wide disk line, of a file of many clusters") >"$OUTDIR/large.txt"

fat=$WORK/fat.vol
mkfs.fat --invariant -C -F 32 -s 1 -S 512 -n WIDEFAT32 "$fat" $((VOLUME_SECTORS / 2)) >/dev/null
mmd -i "$fat" ::/DOCS ::/DOCS/LETTERS ::/PHOTOS
mcopy -i "$fat" "$OUTDIR/small.txt" ::/DOCS/SMALL.TXT
mcopy -i "$fat" "$OUTDIR/large.txt" ::/PHOTOS/LARGE.TXT
mcopy -i "$fat" "$OUTDIR/large.txt" ::/DOCS/LETTERS/LETTER.TXT
mcopy -i "$fat" "$OUTDIR/small.txt" ::/GONE.TXT
mdel -i "$fat" ::/GONE.TXT

# The boot sector's hidden-sector field has 32 bits: no start past 2 TiB fits it.
ntfs=$WORK/ntfs.vol
truncate -s $((VOLUME_SECTORS * 512)) "$ntfs"
mkntfs -F -q -Q -s 512 -c 4096 -p 0 -H 255 -S 63 -L WIDENTFS "$ntfs" >/dev/null 2>&1
ntfscp -f "$ntfs" "$OUTDIR/small.txt" small.txt >/dev/null
ntfscp -f "$ntfs" "$OUTDIR/large.txt" large.txt >/dev/null

disk=$WORK/wide_gpt.img
truncate -s 3T "$disk"
sfdisk -q --no-reread --no-tell-kernel "$disk" <<<"label: gpt
start=$FAT_START, size=$VOLUME_SECTORS, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7
start=$NTFS_START, size=$VOLUME_SECTORS, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7" >/dev/null
dd if="$fat" of="$disk" bs=512 seek=$FAT_START conv=notrunc,sparse status=none
dd if="$ntfs" of="$disk" bs=512 seek=$NTFS_START conv=notrunc,sparse status=none
mv "$disk" "$OUTDIR/wide_gpt.img"

FinishImages
