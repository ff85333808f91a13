#!/usr/bin/env bash
# Builds, into OUTDIR, a disk holding an exFAT volume whose boot regions are wiped, for the
# Advance search to find from what is left. The volume is made by mkfs.exfat with 32 KiB
# clusters, filled through the exfat-fuse mount (on a loop device when the image itself cannot
# be mounted), placed at sector 12345 of a larger disk, then sectors 0..23 of it zeroed.
#
#   make_found_exfat_images.sh OUTDIR
#
# wiped.img    the disk
# wiped.truth  "HEAP_START SECTORS_PER_CLUSTER ROOT_CLUSTER" of the volume, in 512-byte
#              sectors of the disk, read from its boot sector before it was wiped
#
# Exit status 77 when FUSE cannot mount here. Images are rebuilt only when this script changed.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../support/image_script.sh"
StartImages make_found_exfat_images "${1:-}" mkfs.exfat mount.exfat-fuse dd od
[[ -c /dev/fuse ]] || exit 77
readonly SECTOR=512
readonly VOLUME_SECTORS=98304
readonly PLACE=12345
readonly DISK_SECTORS=$((PLACE + VOLUME_SECTORS + 4321))
readonly BOOT_REGIONS=24

MNT=$WORK/mnt
LOOP=""
Cleanup() {
    if mountpoint -q "$MNT" 2>/dev/null; then
        fusermount3 -u "$MNT" 2>/dev/null || fusermount -u "$MNT" 2>/dev/null || umount "$MNT"
    fi
    [[ -z $LOOP ]] || losetup -d "$LOOP" 2>/dev/null || true
    rm -rf "$WORK"
}
trap Cleanup EXIT
mkdir "$MNT"

# exfat-fuse run as root wants a block device: the image is tried first, then a loop device.
Mount() {  # VOLUME
    mount.exfat-fuse "$1" "$MNT" >/dev/null 2>&1 && mountpoint -q "$MNT" && return 0
    Installed losetup || exit 77
    LOOP=$(losetup -f --show "$1" 2>/dev/null) || exit 77
    mount.exfat-fuse "$LOOP" "$MNT" >/dev/null 2>&1 && mountpoint -q "$MNT" && return 0
    exit 77
}

Unmount() {
    sync
    fusermount3 -u "$MNT" 2>/dev/null || fusermount -u "$MNT" 2>/dev/null || umount "$MNT"
    if [[ -n $LOOP ]]; then
        losetup -d "$LOOP"
        LOOP=""
    fi
}

Fill() {
    mkdir -p "$MNT/Photos/2019/Summer" "$MNT/Photos/2020" "$MNT/Documents/Letters" \
        "$MNT/Music" "$MNT/Gone/Inner"
    head -c 70000 <(yes "Lumarest found exFAT volume test line") >"$WORK/text.txt"
    for f in Photos/2019/Summer/beach.txt Photos/2020/snow.txt Documents/Letters/aunt.txt \
        Documents/list.txt Music/song.txt readme.txt Gone/Inner/lost.txt; do
        cp "$WORK/text.txt" "$MNT/$f"
    done
    # A deleted folder leaves its set in the root and its own sets behind, marked deleted.
    rm -rf "$MNT/Gone"
}

# Little-endian field of the boot sector: OFFSET BYTES.
BootField() {
    od -An -t "u$2" -j "$1" -N "$2" "$WORK/found.vol" | tr -d ' '
}

truncate -s $((VOLUME_SECTORS * SECTOR)) "$WORK/found.vol"
mkfs.exfat -c 32K -L FOUND "$WORK/found.vol" >/dev/null
Mount "$WORK/found.vol"
Fill
Unmount

unit=$((1 << ($(BootField 108 1) - 9)))
heap=$((PLACE + $(BootField 88 4) * unit))
spc=$(((1 << $(BootField 109 1)) * unit))
echo "$heap $spc $(BootField 96 4)" >"$WORK/wiped.truth"

truncate -s $((DISK_SECTORS * SECTOR)) "$WORK/wiped.img"
dd if="$WORK/found.vol" of="$WORK/wiped.img" bs=$SECTOR seek=$PLACE conv=notrunc,sparse \
    status=none
dd if=/dev/zero of="$WORK/wiped.img" bs=$SECTOR seek=$PLACE count=$BOOT_REGIONS conv=notrunc \
    status=none

mv "$WORK/wiped.img" "$WORK/wiped.truth" "$OUTDIR/"
FinishImages
