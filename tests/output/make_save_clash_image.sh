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
export LC_ALL=C.UTF-8 MTOOLS_SKIP_CHECK=1
PATH=$PATH:/usr/sbin:/sbin
image=$1
# Tests run side by side: one builds, the others wait and then find the image made.
exec 9>"$image.lock"
flock 9
hash=$( (sha256sum "${BASH_SOURCE[0]}"; echo "$variant") | sha256sum | cut -c1-16)
if [[ -f $image && -f $image.stamp && $(cat "$image.stamp") == "$hash" ]]; then
    exit 0
fi
work=$(mktemp -d "$image.XXXXXX")
trap 'rm -rf "$work"' EXIT

printf 'the live trip photo\n' >"$work/live"
printf 'the deleted trip photo, a longer one\n' >"$work/gone"
printf 'a note\n' >"$work/note"
mkfs.fat --invariant -C -F 16 -s 4 -S 512 "$work/clash.img" 16384 >/dev/null
mmd -i "$work/clash.img" "::/Trip" "::/Trip/Inner" "::/Trip/Other"
mcopy -i "$work/clash.img" "$work/live" "::/Trip/Trip.jpg"
mcopy -i "$work/clash.img" "$work/gone" "::/Trip/Trix.jpg"
mcopy -i "$work/clash.img" "$work/note" "::/Trip/Inner/Note.txt"
mcopy -i "$work/clash.img" "$work/note" "::/Top.txt"
mdel -i "$work/clash.img" "::/Trip/Trix.jpg"
if [[ $variant == file-named-trip ]]; then
    mcopy -i "$work/clash.img" "$work/gone" "::/Trix"
    mdel -i "$work/clash.img" "::/Trix"
fi
# The deleted entry's long name becomes the live one's: two files of one name in one folder.
perl -0777 -pi -e 's/T\x00r\x00i\x00x\x00/T\x00r\x00i\x00p\x00/g' "$work/clash.img"
mv "$work/clash.img" "$image"
echo "$hash" >"$image.stamp"
