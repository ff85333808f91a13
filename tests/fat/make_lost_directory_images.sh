#!/usr/bin/env bash
# Builds the FAT volumes the lost-directory tests scan, with mkfs.fat and mtools, into OUTDIR.
# Every volume holds the same tree: nested folders with long names (one of exactly 13
# characters), names in several scripts, deleted files, and a deleted folder holding files.
#
#   make_lost_directory_images.sh OUTDIR
#
# Volumes: f16_s1, f16_s4 (FAT16), f32_s1, f32_s2 (FAT32), by sectors per cluster.
# Images are rebuilt only when this script changed.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../support/image_script.sh"
StartImages make_lost_directory_images "${1:-}" mkfs.fat mmd mcopy mdel mdeltree perl
# mtools takes UTF-8 names only with a UTF-8 locale.
export LC_ALL=C.UTF-8
head -c 5000 <(yes "Lumarest lost directory test line") >"$WORK/text.txt"

FillVolume() {  # VOLUME
    local v=$1
    mmd -i "$v" "::/Photos" "::/Photos/Holiday in Spain 2024" \
        "::/Photos/Holiday in Spain 2024/Thirteen_Char" "::/Keep" "::/Keep/Inner Folder" \
        "::/Año nuevo" "::/Größe" "::/Φωτογραφίες" "::/写真" "::/Party 🎉" \
        "::/Old Stuff" "::/Old Stuff/Sub"
    mcopy -i "$v" "$WORK/text.txt" "::/Photos/Holiday in Spain 2024/Thirteen_Char/beach.txt"
    mcopy -i "$v" "$WORK/text.txt" "::/Photos/Gone.txt"
    mcopy -i "$v" "$WORK/text.txt" "::/Photos/Kept.txt"
    mcopy -i "$v" "$WORK/text.txt" "::/Old Stuff/a.txt"
    mcopy -i "$v" "$WORK/text.txt" "::/Old Stuff/Sub/b.txt"
    mcopy -i "$v" "$WORK/text.txt" "::/Keep/Inner Folder/c.txt"
    mdel -i "$v" "::/Photos/Gone.txt"
    mdeltree -i "$v" "::/Old Stuff"
    # mtools keeps only the low 16 bits of a character beyond U+FFFF: write the emoji as the
    # surrogate pair a driver writes (its long-name entry has room for the second unit).
    perl -0777 -pi -e 's/\x20\x00\x89\xF3\x00\x00\xFF\xFF/\x20\x00\x3C\xD8\x89\xDF\x00\x00/g' "$v"
}

Volume() {  # NAME SECTORS FATBITS SECTORS_PER_CLUSTER
    local image=$WORK/$1.img
    mkfs.fat --invariant -C -F "$3" -s "$4" -S 512 "$image" $(($2 / 2)) >/dev/null
    FillVolume "$image"
    mv "$image" "$OUTDIR/$1.img"
}

Volume f16_s1 32768 16 1
Volume f16_s4 65536 16 4
Volume f32_s1 81920 32 1
Volume f32_s2 143360 32 2
FinishImages
