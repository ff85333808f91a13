#!/usr/bin/env bash
# make_ntfs_images.sh OUTDIR: builds names.img, a bare NTFS volume (4 KiB clusters) written
# through the ntfs-3g FUSE mount, with names in several scripts and files whose data is
# resident, non-resident, sparse and fragmented. The files' bytes are kept beside it in
# OUTDIR/files for the tests to compare with. Exit status 77 when FUSE does not work here.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../support/image_script.sh"
IMAGES_STAMP=.names.stamp StartImages make_ntfs_images "${1:-}" mkntfs
FuseInstalled ntfs-3g || exit 77
. "$(dirname "${BASH_SOURCE[0]}")/../support/fuse_mount.sh"

IMAGE=$OUTDIR/names.img
FILES=$OUTDIR/files
rm -rf "$FILES" "$IMAGE"
mkdir -p "$FILES"

# The bytes of every file, made first so the test can compare.
printf 'resident bytes\n' >"$FILES/small.txt"
head -c 300 /dev/zero | tr '\0' 'r' >"$FILES/resident300.txt"
{ seq -w 1 1000000 || true; } | head -c 5000000 >"$FILES/big.bin"
truncate -s 1000000 "$FILES/sparse.bin"
printf 'head of a sparse file' | dd of="$FILES/sparse.bin" conv=notrunc status=none
printf 'tail of a sparse file' | dd of="$FILES/sparse.bin" bs=1 seek=900000 conv=notrunc status=none
{ seq -w 1 200000 || true; } | head -c 400000 >"$FILES/fragmented.bin"

truncate -s 16M "$IMAGE"
mkntfs -F -q -Q -s 512 -c 4096 -L LMNAMES "$IMAGE" >/dev/null 2>&1
Mount "$IMAGE"

mkdir "$MNT/Fotos Año 2009" "$MNT/Φωτογραφίες" "$MNT/写真"
cp "$FILES/small.txt" "$MNT/Fotos Año 2009/Playa Málaga.txt"
cp "$FILES/small.txt" "$MNT/Φωτογραφίες/Παραλία.txt"
cp "$FILES/small.txt" "$MNT/写真/海の日.txt"
cp "$FILES/small.txt" "$MNT/📷 Camera 🏖.txt"
cp "$FILES/resident300.txt" "$MNT/resident300.txt"
cp "$FILES/big.bin" "$MNT/big.bin"
cp --sparse=always "$FILES/sparse.bin" "$MNT/sparse.bin"
# Two files grown in turns get interleaved clusters: several runs each.
: >"$MNT/fragmented.bin"
: >"$MNT/filler.bin"
for i in $(seq 0 9); do
    dd if="$FILES/fragmented.bin" bs=40000 skip="$i" count=1 status=none >>"$MNT/fragmented.bin"
    sync
    head -c 8192 /dev/zero >>"$MNT/filler.bin"
    sync
done
cmp "$MNT/fragmented.bin" "$FILES/fragmented.bin"
Unmount
FinishImages
