#!/usr/bin/env bash
# make_saved_times_images.sh OUTDIR: builds the volumes the saved-times tests read.
#   times_fat.img  FAT16 written with mtools (times in UTC): Album (2011-06-01 12:00) holding
#                  A.TXT (2009-03-05 09:05:06), a deleted GONE.TXT and Inner (2012-02-29 23:59:58)
#                  with NOTE.TXT (2020-01-01); in the root "Long holiday photo.jpg" and BADDATE.TXT
#                  whose date word is 0.
#   times_ntfs.img the same tree on NTFS through the ntfs-3g FUSE mount (left out when FUSE does
#                  not work here), with old.txt dated 1965 in place of BADDATE.TXT.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../support/image_script.sh"
StartImages make_saved_times_images "${1:-}" mkfs.fat mcopy mdel perl
export LC_ALL=C.UTF-8 TZ=UTC
rm -f "$OUTDIR/times_fat.img" "$OUTDIR/times_ntfs.img"
MNT=$WORK/mnt
PID=""
Cleanup() {
    if [[ -d $MNT ]] && mountpoint -q "$MNT"; then
        fusermount3 -u "$MNT" 2>/dev/null || fusermount -u "$MNT" 2>/dev/null || umount "$MNT"
    fi
    [[ -z $PID ]] || wait "$PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap Cleanup EXIT

# Files get their times first, folders last: writing into a folder changes its time.
DateTree() {
    local root=$1 bad=$2
    touch -d "2009-03-05 09:05:07" "$root/Album/A.TXT"
    touch -d "2020-01-01 00:00:00" "$root/Album/Inner/NOTE.TXT"
    touch -d "2018-08-08 08:08:08" "$root/Long holiday photo.jpg"
    [[ $bad != *BADDATE* ]] || touch -d "2016-01-01 00:00:00" "$bad"
    [[ $bad != *old.txt ]] || touch -d "1965-05-05 05:05:05" "$bad"
    touch -d "2012-02-29 23:59:58" "$root/Album/Inner"
    touch -d "2011-06-01 12:00:00" "$root/Album"
}

FillTree() {
    local root=$1
    mkdir -p "$root/Album/Inner"
    printf 'a photo\n' >"$root/Album/A.TXT"
    printf 'a note\n' >"$root/Album/Inner/NOTE.TXT"
    printf 'a holiday photo\n' >"$root/Long holiday photo.jpg"
    printf 'gone but found\n' >"$root/Album/GONE.TXT"
}

SRC=$WORK/src
FillTree "$SRC"
printf 'bad date\n' >"$SRC/BADDATE.TXT"
touch -d "2015-07-04 10:00:00" "$SRC/Album/GONE.TXT"
DateTree "$SRC" "$SRC/BADDATE.TXT"
mkfs.fat --invariant -C -F 16 -s 4 -S 512 "$WORK/fat.img" 16384 >/dev/null
mcopy -s -m -i "$WORK/fat.img" "$SRC/Album" "$SRC/Long holiday photo.jpg" "$SRC/BADDATE.TXT" ::/
mdel -i "$WORK/fat.img" "::/Album/GONE.TXT"
# The entry's date word (offset 24 after its 11-byte name) becomes 0.
perl -0777 -pi -e 's/(BADDATE TXT.{13})../$1\x00\x00/s' "$WORK/fat.img"
mv "$WORK/fat.img" "$OUTDIR/times_fat.img"

if FuseInstalled ntfs-3g; then
    truncate -s 16M "$WORK/ntfs.img"
    mkntfs -F -q -Q -s 512 -c 4096 "$WORK/ntfs.img" >/dev/null 2>&1
    mkdir "$MNT"
    ntfs-3g -o no_detach "$WORK/ntfs.img" "$MNT" 2>/dev/null &
    PID=$!
    for _ in $(seq 50); do
        mountpoint -q "$MNT" && break
        kill -0 "$PID" 2>/dev/null || break
        sleep 0.1
    done
    if mountpoint -q "$MNT"; then
        FillTree "$MNT"
        printf 'very old\n' >"$MNT/old.txt"
        rm "$MNT/Album/GONE.TXT"
        DateTree "$MNT" "$MNT/old.txt"
        sync
        fusermount3 -u "$MNT" 2>/dev/null || fusermount -u "$MNT" 2>/dev/null || umount "$MNT"
        wait "$PID"
        PID=""
        mv "$WORK/ntfs.img" "$OUTDIR/times_ntfs.img"
    fi
fi
FinishImages
