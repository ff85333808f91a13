#!/usr/bin/env bash
# Builds, into OUTDIR, slack.vol: a bare NTFS volume (4 KiB clusters) filled through the ntfs-3g
# FUSE mount whose folder "Album" held 200 files with long names, enough for index blocks of its
# own. Files 101 to 200 were then deleted, and 120 new files made in "Other" took their records:
# some of the deleted names stay only in the unused part of Album's index blocks. Each file of
# Album holds "photo NNN" and a newline (10 bytes). Exit status 77 when FUSE does not work here.
# The image is rebuilt only when this script changed.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../support/image_script.sh"
[[ -c /dev/fuse ]] || exit 77
StartImages make_index_slack_images "${1:-}" mkntfs ntfs-3g mountpoint
. "$(dirname "${BASH_SOURCE[0]}")/../support/fuse_mount.sh"

FillAlbum() {
    local i
    mkdir "$MNT/Album" "$MNT/Other"
    for i in $(seq -w 1 200); do
        printf 'photo %s\n' "$i" >"$MNT/Album/holiday photograph number $i with a long name.jpg"
    done
    for i in $(seq -w 101 200); do
        rm "$MNT/Album/holiday photograph number $i with a long name.jpg"
    done
    for i in $(seq -w 1 120); do
        printf 'new %s\n' "$i" >"$MNT/Other/replacement $i.txt"
    done
}

truncate -s 16M "$WORK/slack.vol"
mkntfs -F -q -Q -s 512 -c 4096 -L LMSLACK "$WORK/slack.vol" >/dev/null 2>&1
Mount "$WORK/slack.vol"
FillAlbum
Unmount

mv "$WORK/slack.vol" "$OUTDIR/"
FinishImages
