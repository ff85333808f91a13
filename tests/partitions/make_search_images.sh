#!/usr/bin/env bash
# Builds the disks the partition search tests read, with sfdisk, mkfs.fat and mkntfs, into
# OUTDIR. The disks keep the 255 x 63 geometry every disk is shown with: a cylinder is 16065
# sectors.
#
#   make_search_images.sh OUTDIR
#
# three.img   200000 sectors; the table lists only the FAT32 volume at 63 (one track into
#             cylinder 0, 70000 sectors); an NTFS volume of 20000 sectors starts at the first
#             sector of cylinder 5 (80325), a FAT16 volume of 40000 sectors (its size only in
#             the 16-bit field) one track into cylinder 7 (112518)
# intact8.img 8 MiB (16384 sectors) with one FAT16 partition at 63 filling the disk
#
# Images are rebuilt only when this script changed.
set -euo pipefail

if [[ $# -ne 1 ]]; then
    echo "usage: $0 OUTDIR" >&2
    exit 2
fi
mkdir -p "$1"
OUTDIR=$(cd "$1" && pwd)
readonly OUTDIR
export LC_ALL=C
PATH=$PATH:/usr/sbin:/sbin
readonly SECTOR=512

for tool in sfdisk mkfs.fat mkntfs flock sha256sum; do
    command -v "$tool" >/dev/null || {
        echo "make_search_images: missing tool: $tool" >&2
        exit 1
    }
done

exec 9>"$OUTDIR/.lock"
flock 9
HASH=$(sha256sum "${BASH_SOURCE[0]}" | cut -c1-16)
if [[ -f $OUTDIR/.stamp && $(cat "$OUTDIR/.stamp") == "$HASH" ]]; then
    exit 0
fi
WORK=$(mktemp -d "$OUTDIR/.work.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

NewDisk() {  # PATH SECTORS TABLE
    rm -f "$1"
    truncate -s $(($2 * SECTOR)) "$1"
    sfdisk -q --no-reread --no-tell-kernel "$1" <<<"$3" >/dev/null
}

PlaceVolume() {  # DISK VOLUME START
    dd if="$2" of="$1" bs=$SECTOR seek="$3" conv=notrunc,sparse status=none
}

FatVolume() {  # PATH SECTORS FATBITS HIDDEN
    rm -f "$1"
    mkfs.fat --invariant -C -F "$3" -s 1 -S $SECTOR -h "$4" "$1" $(($2 / 2)) >/dev/null 2>&1
}

NtfsVolume() {  # PATH SECTORS HIDDEN
    rm -f "$1"
    truncate -s $(($2 * SECTOR)) "$1"
    mkntfs -F -q -Q -s $SECTOR -c 4096 -p "$3" -H 255 -S 63 "$1" >/dev/null 2>&1
}

NewDisk "$WORK/three.img" 200000 "label: dos
label-id: 0x4c4d5035
start=63, size=69984, type=c"
FatVolume "$WORK/fat32.vol" 70000 32 63
PlaceVolume "$WORK/three.img" "$WORK/fat32.vol" 63
NtfsVolume "$WORK/ntfs.vol" 20000 80325
PlaceVolume "$WORK/three.img" "$WORK/ntfs.vol" 80325
FatVolume "$WORK/fat16.vol" 40000 16 112518
PlaceVolume "$WORK/three.img" "$WORK/fat16.vol" 112518
mv "$WORK/three.img" "$OUTDIR/three.img"

NewDisk "$WORK/intact8.img" 16384 "label: dos
label-id: 0x4c4d5036
start=63, size=16320, type=6"
FatVolume "$WORK/small16.vol" 16320 16 63
PlaceVolume "$WORK/intact8.img" "$WORK/small16.vol" 63
mv "$WORK/intact8.img" "$OUTDIR/intact8.img"

echo "$HASH" >"$OUTDIR/.stamp"
