#!/usr/bin/env bash
# make_mft_scan_image.sh OUTDIR: builds scan.img, a bare NTFS volume (4 KiB clusters) written
# through the ntfs-3g FUSE mount, for the master-file-table scan: nested folders, long names,
# names in several scripts, a long name with its DOS name beside it, a name that is its own
# DOS name, resident and non-resident data, and deleted files and folders (a whole deleted
# tree among them). OUTDIR/scan.records lists "number<TAB>path" of the files made, as the
# mount numbered them. Exit status 77 when FUSE does not work here.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../support/image_script.sh"
IMAGES_STAMP=.scan.stamp StartImages make_mft_scan_image "${1:-}" mkntfs
FuseInstalled ntfs-3g python3 || exit 77
. "$(dirname "${BASH_SOURCE[0]}")/../support/fuse_mount.sh"

IMAGE=$OUTDIR/scan.img
RECORDS=$OUTDIR/scan.records
rm -f "$IMAGE" "$RECORDS"

truncate -s 24M "$IMAGE"
mkntfs -F -q -Q -s 512 -c 4096 -L LMSCAN "$IMAGE" >/dev/null 2>&1
Mount "$IMAGE"

LONG=$(printf 'A%.0s' $(seq 200))
mkdir -p "$MNT/Photos/2009/Summer/Beach" "$MNT/Photos/2009/Winter" "$MNT/Documents" \
    "$MNT/Ελληνικά" "$MNT/日本語" "$MNT/🎉 party" "$MNT/Old Trip/Sub"
printf 'beach one\n' >"$MNT/Photos/2009/Summer/Beach/IMG_0001.JPG"
printf 'beach two, a little longer\n' >"$MNT/Photos/2009/Summer/Beach/IMG_0002.JPG"
printf 'snow\n' >"$MNT/Photos/2009/Winter/snow.jpg"
printf 'long name\n' >"$MNT/Documents/$LONG.txt"
printf 'report\n' >"$MNT/Documents/longname_report.txt"
printf 'draft to delete\n' >"$MNT/Documents/draft.txt"
printf 'read me\n' >"$MNT/README.TXT"
printf 'greek\n' >"$MNT/Ελληνικά/αρχείο.txt"
printf 'japanese\n' >"$MNT/日本語/ファイル.txt"
printf 'cake\n' >"$MNT/🎉 party/🎂.txt"
head -c 300 /dev/zero | tr '\0' 'r' >"$MNT/resident300.txt"
{ seq -w 1 1000000 || true; } | head -c 5000000 >"$MNT/big.bin"
printf 'day one\n' >"$MNT/Old Trip/day1.jpg"
printf 'day two\n' >"$MNT/Old Trip/Sub/day2.jpg"
printf 'a slot the test overwrites\n' >"$MNT/garbage_me.txt"
printf 'made after the overwritten slot\n' >"$MNT/after_garbage.txt"
python3 - "$MNT" <<'PY'
import os, sys
mnt = sys.argv[1]
os.setxattr(os.path.join(mnt, "Documents/longname_report.txt"), "system.ntfs_dos_name",
            b"LONGNA~1.TXT")
os.setxattr(os.path.join(mnt, "README.TXT"), "system.ntfs_dos_name", b"README.TXT")
PY
# The mount's inode numbers are the record numbers.
(cd "$MNT" && find . -mindepth 1 -printf '%i\t%P\n') >"$RECORDS.part"
rm -rf "$MNT/Old Trip"
rm -f "$MNT/Documents/draft.txt" "$MNT/garbage_me.txt"
Unmount
mv "$RECORDS.part" "$RECORDS"
FinishImages
