#!/usr/bin/env bash
# Builds the FAT16 volume the saving tests read into IMAGE: a folder Trip holding a live
# Trip.jpg and a deleted file whose long name reads Trip.jpg too, a subfolder Inner with
# Note.txt and an empty subfolder Other, and Top.txt in the root. With "file-named-trip", the
# root also holds a deleted file whose long name reads Trip, as the folder's. Rebuilt only when
# this script changed.
#
#   make_save_clash_image.sh IMAGE [file-named-trip]
set -euo pipefail

if [[ $# -lt 1 || $# -gt 2 ]]; then
    echo "usage: $0 IMAGE [file-named-trip]" >&2
    exit 2
fi
variant=${2:-}
. "$(dirname "${BASH_SOURCE[0]}")/../support/image_script.sh"
# Each image and variant has a stamp of its own: the images lie side by side in one folder.
IMAGES_STAMP=.$(basename "${1:-}")${variant:+.$variant}.stamp \
    StartImages make_save_clash_image "${1:+$(dirname "$1")}" mkfs.fat mmd mcopy mdel perl
export LC_ALL=C.UTF-8
image=$OUTDIR/$(basename "$1")
printf 'the live trip photo\n' >"$WORK/live"
printf 'the deleted trip photo, a longer one\n' >"$WORK/gone"
printf 'a note\n' >"$WORK/note"
mkfs.fat --invariant -C -F 16 -s 4 -S 512 "$WORK/clash.img" 16384 >/dev/null
mmd -i "$WORK/clash.img" "::/Trip" "::/Trip/Inner" "::/Trip/Other"
mcopy -i "$WORK/clash.img" "$WORK/live" "::/Trip/Trip.jpg"
mcopy -i "$WORK/clash.img" "$WORK/gone" "::/Trip/Trix.jpg"
mcopy -i "$WORK/clash.img" "$WORK/note" "::/Trip/Inner/Note.txt"
mcopy -i "$WORK/clash.img" "$WORK/note" "::/Top.txt"
mdel -i "$WORK/clash.img" "::/Trip/Trix.jpg"
if [[ $variant == file-named-trip ]]; then
    mcopy -i "$WORK/clash.img" "$WORK/gone" "::/Trix"
    mdel -i "$WORK/clash.img" "::/Trix"
fi
# The deleted entry's long name becomes the live one's: two files of one name in one folder.
perl -0777 -pi -e 's/T\x00r\x00i\x00x\x00/T\x00r\x00i\x00p\x00/g' "$WORK/clash.img"
mv "$WORK/clash.img" "$image"
FinishImages
