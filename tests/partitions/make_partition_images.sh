#!/usr/bin/env bash
# Builds the partition-table images the partition tests read, with sfdisk, mkfs.fat and mkntfs,
# into OUTDIR. Only the odd tables live here; the everyday layouts are the shared fixtures.
#
#   make_partition_images.sh OUTDIR
#
# odd_types.img    p1 type 0x83 holding NTFS, p2 type 0x07 holding FAT32, p3 primary 0x01 with
#                  nothing in it, p4 extended with a logical 0x01 and a logical 0x83 (both empty)
# many_logicals.img  30 logical partitions of type 0x06, none formatted
# near_end.img     p1 FAT16, p2 type 0x07 starting 20480 sectors before the end, p3 type 0x06
# cut_chain.img    extended with a logical 0x06 at 4096 and a logical 0x07 at 150000; the file
#                  ends at sector 100000, before the second extended record
# zeros.img        20 MiB of zeros
# three.img        200000 sectors for the partition search (a cylinder is 16065 sectors); the
#                  table lists only the FAT32 volume at 63 (one track into cylinder 0, 70000
#                  sectors); an NTFS volume of 20000 sectors starts at the first sector of
#                  cylinder 5 (80325), a FAT16 volume of 40000 sectors (its size only in the
#                  16-bit field) one track into cylinder 7 (112518)
# intact8.img      8 MiB (16384 sectors) with one FAT16 partition at 63 filling the disk
# aligned.img      80000 sectors, partitions on 1 MiB boundaries: NTFS at 2048 (6144 sectors),
#                  FAT32 at 8192 (69984 sectors, as mkfs.fat sizes it); neither on a cylinder's
#                  candidates
#
# Each NAME.img gets NAME.sfdisk (sfdisk -d). Images are rebuilt only when this script changed.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../support/image_script.sh"
StartImages make_partition_images "${1:-}" sfdisk mkfs.fat mkntfs
readonly SECTOR=512

NewDisk() {  # PATH SECTORS TABLE
    rm -f "$1"
    truncate -s $(($2 * SECTOR)) "$1"
    sfdisk -q --no-reread --no-tell-kernel "$1" <<<"$3" >/dev/null
}

# Writes a volume file into the disk at START without touching the rest of it.
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

Finish() {  # NAME
    sfdisk -d "$WORK/$1.img" >"$OUTDIR/$1.sfdisk"
    mv "$WORK/$1.img" "$OUTDIR/$1.img"
}

NewDisk "$WORK/odd_types.img" 126976 "label: dos
label-id: 0x4c4d5031
start=2048, size=16384, type=83
start=18432, size=69632, type=7
start=88064, size=2048, type=1
start=90112, size=8192, type=5
start=92160, size=2048, type=1
start=96256, size=2048, type=83"
NtfsVolume "$WORK/ntfs.vol" 16384 2048
PlaceVolume "$WORK/odd_types.img" "$WORK/ntfs.vol" 2048
FatVolume "$WORK/fat32.vol" 69632 32 18432
PlaceVolume "$WORK/odd_types.img" "$WORK/fat32.vol" 18432
Finish odd_types

logicals=$'label: dos\nlabel-id: 0x4c4d5032\nstart=2048, size=122880, type=5'
for i in $(seq 0 29); do
    logicals+=$'\n'"start=$((4096 + i * 4096)), size=2048, type=6"
done
NewDisk "$WORK/many_logicals.img" 153600 "$logicals"
Finish many_logicals

NewDisk "$WORK/near_end.img" 61440 "label: dos
label-id: 0x4c4d5033
start=2048, size=8192, type=6
start=40960, size=8192, type=7
start=51200, size=8192, type=6"
FatVolume "$WORK/fat16.vol" 8192 16 2048
PlaceVolume "$WORK/near_end.img" "$WORK/fat16.vol" 2048
Finish near_end

NewDisk "$WORK/cut_chain.img" 200000 "label: dos
label-id: 0x4c4d5034
start=2048, size=190000, type=5
start=4096, size=8192, type=6
start=150000, size=8192, type=7"
sfdisk -d "$WORK/cut_chain.img" >"$OUTDIR/cut_chain.sfdisk"
truncate -s $((100000 * SECTOR)) "$WORK/cut_chain.img"
mv "$WORK/cut_chain.img" "$OUTDIR/cut_chain.img"

rm -f "$OUTDIR/zeros.img"
truncate -s 20M "$OUTDIR/zeros.img"

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

NewDisk "$WORK/aligned.img" 80000 "label: dos
label-id: 0x4c4d5037
start=2048, size=6144, type=7
start=8192, size=69984, type=c"
NtfsVolume "$WORK/ntfs.vol" 6144 2048
PlaceVolume "$WORK/aligned.img" "$WORK/ntfs.vol" 2048
FatVolume "$WORK/fat32.vol" 70000 32 8192
PlaceVolume "$WORK/aligned.img" "$WORK/fat32.vol" 8192
Finish aligned

FinishImages
