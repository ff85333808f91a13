#!/usr/bin/env bash
# Builds MBR disks, each with one NTFS volume at sector 2048 filled through the ntfs-3g FUSE
# mount, into OUTDIR:
#
# rec1k.img   512-byte sectors, 1024-byte file records (mkntfs -s 512 -c 4096)
# rec2k.img   2048-byte sectors and records (mkntfs -s 2048)
# rec4k.img   4096-byte sectors and records (mkntfs -s 4096)
# links.img   512-byte sectors: Docs/one.txt (the small file) with the hard links
#             Photos/two.txt, three.txt and Docs/Letters/four.txt
#
# Each holds Docs/Letters, Photos, a small file, a file of 40000 bytes, a file with a long name
# and a deleted file; the bytes of the files are kept in OUTDIR/files. Exit status 77 when FUSE
# does not work here. Images are rebuilt only when this script changed.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/image_script.sh"
[[ -c /dev/fuse ]] || exit 77
StartImages make_ntfs_record_images "${1:-}" sfdisk mkntfs ntfs-3g mountpoint
. "$(dirname "${BASH_SOURCE[0]}")/fuse_mount.sh"

FILES=$OUTDIR/files
rm -rf "$FILES"
mkdir -p "$FILES"
head -c 3000 <(yes "Lumarest record size line") >"$FILES/small.txt"
{ seq -w 1 100000 || true; } | head -c 40000 >"$FILES/large.bin"
printf 'a long name\n' >"$FILES/long.txt"

Fill() {
    mkdir -p "$MNT/Docs/Letters" "$MNT/Photos"
    cp "$FILES/small.txt" "$MNT/Docs/small.txt"
    cp "$FILES/large.bin" "$MNT/Photos/large.bin"
    cp "$FILES/long.txt" "$MNT/Docs/Letters/A letter with a name far longer than eight dot three.txt"
    cp "$FILES/small.txt" "$MNT/gone.txt"
    sync
    rm "$MNT/gone.txt"
}

FillLinks() {
    mkdir -p "$MNT/Docs/Letters" "$MNT/Photos"
    cp "$FILES/small.txt" "$MNT/Docs/one.txt"
    ln "$MNT/Docs/one.txt" "$MNT/Photos/two.txt"
    ln "$MNT/Docs/one.txt" "$MNT/three.txt"
    ln "$MNT/Docs/one.txt" "$MNT/Docs/Letters/four.txt"
    sync
}

# The MBR counts 512-byte sectors whatever the volume's own sector size.
NtfsDisk() {  # NAME SECTOR_BYTES [FILL]
    local v=$WORK/$1.vol disk=$WORK/$1.img bytes
    truncate -s 32M "$v"
    mkntfs -F -q -Q -s "$2" -c 4096 -p 2048 -H 255 -S 63 -L "$1" "$v" >/dev/null 2>&1
    Mount "$v"
    "${3:-Fill}"
    Unmount
    bytes=$(stat -c %s "$v")
    truncate -s $((2048 * 512 + bytes)) "$disk"
    sfdisk -q --no-reread --no-tell-kernel "$disk" <<<"label: dos
start=2048, size=$((bytes / 512)), type=7" >/dev/null
    dd if="$v" of="$disk" bs=512 seek=2048 conv=notrunc,sparse status=none
    mv "$disk" "$OUTDIR/$1.img"
}

NtfsDisk rec1k 512
NtfsDisk rec2k 2048
NtfsDisk rec4k 4096
NtfsDisk links 512 FillLinks

FinishImages
