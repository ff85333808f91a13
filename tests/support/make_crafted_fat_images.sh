#!/usr/bin/env bash
# Builds two FAT16 volumes whose directory entries are changed byte by byte where no tool
# writes such entries, into FOLDER. Rebuilt only when this script changed.
#
#   amplify.img  FILL.BIN (1 MiB), then A00.BIN to A19.BIN (3000 bytes each, two clusters of
#                2 KiB); the even ones deleted; every Axx entry's size then set to 0xFFFFFFFF.
#   gone.img     FILL.BIN (1 MiB), then G00.BIN to G19.BIN (3000 bytes each), all of them
#                deleted and their sizes then set to 0xFFFFFFFF: every one runs on into free
#                clusters up to the volume's end.
#   names.img    short-only names with code-page bytes: M\x9ALLER.TXT, S\x9DREN.TXT and the
#                deleted \xE5\x9ALLER.TXT; a long name "a/b long name.txt" whose "/" no driver
#                writes (its short name is A_BLON~1.TXT).
#   amplify_disk.img, gone_disk.img, names_disk.img  the same volumes as partition 1 of an MBR
#                disk.
#
#   make_crafted_fat_images.sh FOLDER
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/image_script.sh"
StartImages make_crafted_fat_images "${1:-}" mkfs.fat mcopy mdel perl sfdisk
export LC_ALL=C.UTF-8

amplify=$WORK/amplify.img
mkfs.fat --invariant -C -F 16 -s 4 -S 512 "$amplify" 16384 >/dev/null
head -c 1048576 /dev/zero | tr '\0' 'F' >"$WORK/fill"
mcopy -i "$amplify" "$WORK/fill" "::/FILL.BIN"
for i in $(seq -w 0 19); do
    head -c 3000 /dev/zero | tr '\0' "${i: -1}" >"$WORK/a$i"
    mcopy -i "$amplify" "$WORK/a$i" "::/A$i.BIN"
done
for i in $(seq -w 0 2 18); do
    mdel -i "$amplify" "::/A$i.BIN"
done
# Size field at bytes 28 to 31 of each Axx entry, live or deleted.
perl -0777 -pi -e 's/((?:A|\xE5)\d\d {5}BIN.{17}).{4}/$1\xFF\xFF\xFF\xFF/gs' "$amplify"

gone=$WORK/gone.img
mkfs.fat --invariant -C -F 16 -s 4 -S 512 "$gone" 16384 >/dev/null
mcopy -i "$gone" "$WORK/fill" "::/FILL.BIN"
for i in $(seq -w 0 19); do
    mcopy -i "$gone" "$WORK/a$i" "::/G$i.BIN"
done
for i in $(seq -w 0 19); do
    mdel -i "$gone" "::/G$i.BIN"
done
perl -0777 -pi -e 's/(\xE5\d\d {5}BIN.{17}).{4}/$1\xFF\xFF\xFF\xFF/gs' "$gone"

names=$WORK/names.img
mkfs.fat --invariant -C -F 16 -s 4 -S 512 "$names" 16384 >/dev/null
printf 'mueller\n' >"$WORK/m"
printf 'soeren\n' >"$WORK/s"
printf 'slash\n' >"$WORK/l"
mcopy -i "$names" "$WORK/m" "::/MXLLER.TXT"
mcopy -i "$names" "$WORK/s" "::/SXREN.TXT"
mcopy -i "$names" "$WORK/m" "::/ZXLLER.TXT"
mcopy -i "$names" "$WORK/l" "::/a_b long name.txt"
mdel -i "$names" "::/ZXLLER.TXT"
perl -0777 -pi -e 's/MXLLER  TXT/M\x9ALLER  TXT/; s/SXREN   TXT/S\x9DREN   TXT/;
    s/\xE5XLLER  TXT/\xE5\x9ALLER  TXT/; s/a\x00_\x00b\x00 \x00l\x00/a\x00\/\x00b\x00 \x00l\x00/' \
    "$names"

# The volume as the one FAT16 partition of a disk, from sector 2048.
make_disk() {
    local volume=$1 disk=$2
    truncate -s $((1024 * 1024 + $(stat -c %s "$volume"))) "$disk"
    printf 'start=2048, type=6\n' | sfdisk --quiet "$disk" >/dev/null
    dd if="$volume" of="$disk" bs=512 seek=2048 conv=notrunc status=none
}
make_disk "$amplify" "$WORK/amplify_disk.img"
make_disk "$gone" "$WORK/gone_disk.img"
make_disk "$names" "$WORK/names_disk.img"

mv "$amplify" "$gone" "$names" "$WORK/amplify_disk.img" "$WORK/gone_disk.img" \
    "$WORK/names_disk.img" "$OUTDIR/"
FinishImages
