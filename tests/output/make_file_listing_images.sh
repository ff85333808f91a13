#!/usr/bin/env bash
# Builds the FAT volumes the file-listing and recovered-file tests read, with mkfs.fat and
# mtools, into OUTDIR, and keeps the bytes of every file written in OUTDIR/files.
#
#   make_file_listing_images.sh OUTDIR
#
# Volumes: f16.img (FAT16, 4 sectors per cluster), f32.img (FAT32, 1 sector per cluster).
# Each holds, in its root, short and long names (Japanese, an emoji), an archive, and
# F01.TXT to F20.TXT (more entries than one sector takes); in Docs a fragmented file, a file
# in a nested folder and a deleted IMAGE.JPG whose clusters stay free; in Many M01.TXT to
# M70.TXT (more entries than one cluster takes). Images are rebuilt only when this script
# changed.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../support/image_script.sh"
StartImages make_file_listing_images "${1:-}" mkfs.fat mmd mcopy mdel perl dd
# mtools takes UTF-8 names only with a UTF-8 locale.
export LC_ALL=C.UTF-8
FILES=$OUTDIR/files
rm -rf "$FILES"
mkdir -p "$FILES"

{ seq -w 1 100000 || true; } | head -c 3000 >"$FILES/photo.jpg"
printf 'PK archive stand-in\n' >"$FILES/archive.zip"
{ yes "A long-named picture" || true; } | head -c 7000 >"$FILES/holiday.jpg"
printf 'Japanese name\n' >"$FILES/japanese.txt"
printf 'emoji name\n' >"$FILES/emoji"
printf 'a short file\n' >"$FILES/short.txt"
{ seq -w 1 100000 || true; } | head -c 9000 | tr '0-9' 'a-j' >"$FILES/image.jpg"
{ seq -w 1 100000 || true; } | head -c 20000 >"$FILES/fragmented.bin"
head -c 500 /dev/zero | tr '\0' 'h' >"$FILES/hole.txt"
printf 'nested\n' >"$FILES/nested.txt"

FillVolume() {  # VOLUME FATBITS
    local v=$1
    mmd -i "$v" "::/Docs" "::/Docs/写真" "::/Many"
    mcopy -i "$v" "$FILES/photo.jpg" "::/PHOTO.JPG"
    mcopy -i "$v" "$FILES/archive.zip" "::/ARCHIVE.ZIP"
    mcopy -i "$v" "$FILES/holiday.jpg" "::/Holiday photo 2009.jpg"
    mcopy -i "$v" "$FILES/japanese.txt" "::/写真の説明.txt"
    mcopy -i "$v" "$FILES/emoji" "::/Party 🎉"
    for i in $(seq -w 1 20); do
        mcopy -i "$v" "$FILES/short.txt" "::/F$i.TXT"
    done
    # The file to delete goes first and is deleted last, so no later file takes its clusters.
    mcopy -i "$v" "$FILES/image.jpg" "::/Docs/IMAGE.JPG"
    # Holes of one cluster each: the next file fills them and goes on after them.
    for i in 1 2 3 4 5; do
        mcopy -i "$v" "$FILES/hole.txt" "::/Docs/HOLE$i.TXT"
    done
    mdel -i "$v" "::/Docs/HOLE2.TXT" "::/Docs/HOLE4.TXT"
    if [[ $2 == 32 ]]; then
        # mtools allocates after the FSInfo sector's next-free hint; "unknown" makes it search
        # from the start and find the holes.
        printf '\xff\xff\xff\xff' | dd of="$v" bs=1 seek=$((512 + 492)) conv=notrunc status=none
    fi
    mcopy -i "$v" "$FILES/fragmented.bin" "::/Docs/fragmented.bin"
    mcopy -i "$v" "$FILES/nested.txt" "::/Docs/写真/海の日.txt"
    for i in $(seq -w 1 70); do
        mcopy -i "$v" "$FILES/short.txt" "::/Many/M$i.TXT"
    done
    mdel -i "$v" "::/Docs/IMAGE.JPG"
    # mtools keeps only the low 16 bits of a character beyond U+FFFF: write the emoji as the
    # surrogate pair a driver writes (its long-name entry has room for the second unit).
    perl -0777 -pi -e 's/\x20\x00\x89\xF3\x00\x00\xFF\xFF/\x20\x00\x3C\xD8\x89\xDF\x00\x00/g' "$v"
}

Volume() {  # NAME SECTORS FATBITS SECTORS_PER_CLUSTER
    local image=$WORK/$1.img
    mkfs.fat --invariant -C -F "$3" -s "$4" -S 512 "$image" $(($2 / 2)) >/dev/null
    FillVolume "$image" "$3"
    mv "$image" "$OUTDIR/$1.img"
}

Volume f16 65536 16 4
Volume f32 81920 32 1
FinishImages
