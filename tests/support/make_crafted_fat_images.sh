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

if [[ $# -ne 1 ]]; then
    echo "usage: $0 FOLDER" >&2
    exit 2
fi
export LC_ALL=C.UTF-8 MTOOLS_SKIP_CHECK=1
PATH=$PATH:/usr/sbin:/sbin
folder=$1
mkdir -p "$folder"
# Tests run side by side: one builds, the others wait and then find the images made.
exec 9>"$folder/crafted.lock"
flock 9
hash=$(sha256sum "${BASH_SOURCE[0]}" | cut -c1-16)
if [[ -f $folder/crafted.stamp && $(cat "$folder/crafted.stamp") == "$hash" ]]; then
    exit 0
fi
work=$(mktemp -d "$folder/crafted.XXXXXX")
trap 'rm -rf "$work"' EXIT

amplify=$work/amplify.img
mkfs.fat --invariant -C -F 16 -s 4 -S 512 "$amplify" 16384 >/dev/null
head -c 1048576 /dev/zero | tr '\0' 'F' >"$work/fill"
mcopy -i "$amplify" "$work/fill" "::/FILL.BIN"
for i in $(seq -w 0 19); do
    head -c 3000 /dev/zero | tr '\0' "${i: -1}" >"$work/a$i"
    mcopy -i "$amplify" "$work/a$i" "::/A$i.BIN"
done
for i in $(seq -w 0 2 18); do
    mdel -i "$amplify" "::/A$i.BIN"
done
# Size field at bytes 28 to 31 of each Axx entry, live or deleted.
perl -0777 -pi -e 's/((?:A|\xE5)\d\d {5}BIN.{17}).{4}/$1\xFF\xFF\xFF\xFF/gs' "$amplify"

gone=$work/gone.img
mkfs.fat --invariant -C -F 16 -s 4 -S 512 "$gone" 16384 >/dev/null
mcopy -i "$gone" "$work/fill" "::/FILL.BIN"
for i in $(seq -w 0 19); do
    mcopy -i "$gone" "$work/a$i" "::/G$i.BIN"
done
for i in $(seq -w 0 19); do
    mdel -i "$gone" "::/G$i.BIN"
done
perl -0777 -pi -e 's/(\xE5\d\d {5}BIN.{17}).{4}/$1\xFF\xFF\xFF\xFF/gs' "$gone"

names=$work/names.img
mkfs.fat --invariant -C -F 16 -s 4 -S 512 "$names" 16384 >/dev/null
printf 'mueller\n' >"$work/m"
printf 'soeren\n' >"$work/s"
printf 'slash\n' >"$work/l"
mcopy -i "$names" "$work/m" "::/MXLLER.TXT"
mcopy -i "$names" "$work/s" "::/SXREN.TXT"
mcopy -i "$names" "$work/m" "::/ZXLLER.TXT"
mcopy -i "$names" "$work/l" "::/a_b long name.txt"
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
make_disk "$amplify" "$work/amplify_disk.img"
make_disk "$gone" "$work/gone_disk.img"
make_disk "$names" "$work/names_disk.img"

mv "$amplify" "$gone" "$names" "$work/amplify_disk.img" "$work/gone_disk.img" \
    "$work/names_disk.img" "$folder/"
echo "$hash" >"$folder/crafted.stamp"
