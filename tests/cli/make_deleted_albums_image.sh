#!/usr/bin/env bash
# Builds, into OUTDIR, albums.img: a FAT32 partition (4 KiB clusters) holding two albums of 60
# event folders with 5 files each; "Album 1" is deleted with mdeltree, so its event folders are
# deleted inside a deleted folder whose directory spans clusters the FAT no longer links.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../support/image_script.sh"
StartImages make_deleted_albums_image "${1:-}" mkfs.fat mcopy mdeltree sfdisk

for album in 1 2; do
    for event in $(seq -w 1 60); do
        mkdir -p "$WORK/tree/Album $album/Event $event of the year"
        for file in 1 2 3 4 5; do
            printf 'album %s event %s file %s\n' "$album" "$event" "$file" \
                >"$WORK/tree/Album $album/Event $event of the year/photo number $file.jpg"
        done
    done
done
image=$WORK/albums.img
truncate -s 300M "$image"
printf 'label: dos\n2048,,c\n' | sfdisk -q --no-reread --no-tell-kernel "$image" >/dev/null
mkfs.fat --invariant -F 32 -s 8 -S 512 --offset 2048 -h 2048 -n ALBUMS "$image" >/dev/null 2>&1
mcopy -s -i "$image@@$((2048 * 512))" "$WORK/tree"/* ::/
mdeltree -i "$image@@$((2048 * 512))" "::/Album 1"
mv "$image" "$OUTDIR/"
FinishImages
