#!/usr/bin/env bash
# Builds exFAT volumes filled through the exFAT FUSE driver, into OUTDIR:
#
# card_4k.img, card_32k.img, card_128k.img
#             MBR card: a 64 MiB volume with 4, 32 or 128 KiB clusters in a type 0x07
#             partition at sector 2048
# bare_32k.img the 32 KiB volume alone, with no table
# originals/  every file's bytes as written, deleted ones included, by path
#
# Each volume holds DCIM/100CANON with 20 pictures (6 of them deleted), "Vacances été" and
# folders and files named in Greek, Cyrillic, CJK, with an emoji beyond U+FFFF and with 200
# characters; Fragments/ with two files grown in turns, so their cluster chains interleave;
# a large file; and a deleted folder "Old trip" with files and a folder in it. The deletions are
# the last writes, so no deleted file's clusters are reused. Exit status 77 when FUSE does not
# work here. Images are rebuilt only when this script changed.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../support/image_script.sh"
[[ -c /dev/fuse ]] || exit 77
StartImages make_exfat_volumes "${1:-}" mkfs.exfat mount.exfat-fuse losetup sfdisk convert \
    mountpoint
export LC_ALL=C.UTF-8
. "$(dirname "${BASH_SOURCE[0]}")/../support/fuse_mount.sh"

readonly VOLUME_BYTES=$((64 * 1024 * 1024))
readonly CHUNK_BYTES=131072
readonly ROUNDS=12
LONG_NAME=$(printf 'Un nom de fichier très long %.0s' $(seq 8))
readonly LONG_NAME=${LONG_NAME:0:196}.txt  # 200 characters

ORIG=$OUTDIR/originals
rm -rf "$ORIG"
Original() {  # PATH: makes the folder of a file kept in originals and prints the file's path
    mkdir -p "$(dirname "$ORIG/$1")"
    echo "$ORIG/$1"
}
Lines() {  # PREFIX BYTES: distinct numbered lines, so a cluster out of place shows
    { seq -f "$1 %07g" 1 10000000 || true; } | head -c "$2"
}

for i in $(seq -w 1 20); do
    convert -seed "$((10#$i))" -size 160x120 plasma:tan-navy -quality 85 \
        "$(Original "DCIM/100CANON/IMG_00$i.JPG")"
done
convert -seed 31 -size 200x150 plasma:skyblue-wheat -quality 85 "$(Original "Vacances été/Plage à Nice.jpg")"
Lines "vacances" 9000 >"$(Original "Vacances été/Été 2023.txt")"
convert -seed 32 -size 120x90 plasma:olive-white -quality 85 "$(Original "Φωτογραφίες/Καλοκαίρι.jpg")"
Lines "Москва" 700 >"$(Original "Фотографии/Москва зимой.txt")"
convert -seed 33 -size 100x80 plasma:red-gold -quality 85 "$(Original "写真/東京タワー.jpg")"
Lines "party" 300 >"$(Original "Party 🎉/Fête 🎂.txt")"
Lines "long" 5000 >"$(Original "$LONG_NAME")"
Lines "large" $((4 * 1024 * 1024 + 1234)) >"$(Original "Videos/large.bin")"
for round in $(seq -w 1 $ROUNDS); do
    for part in a b; do
        Lines "fragment $part round $round" $CHUNK_BYTES >"$WORK/$part.$round"
        cat "$WORK/$part.$round" >>"$(Original "Fragments/grown_$part.bin")"
    done
done
convert -seed 41 -size 160x120 plasma:pink-teal -quality 85 "$(Original "Old trip/day 1.jpg")"
convert -seed 42 -size 160x120 plasma:blue-lime -quality 85 "$(Original "Old trip/day 2.jpg")"
Lines "notes" 2500 >"$(Original "Old trip/notes.txt")"
Lines "more" 40000 >"$(Original "Old trip/Extra/more.txt")"

Fill() {
    mkdir -p "$MNT/DCIM/100CANON" "$MNT/Fragments"
    cp "$ORIG"/DCIM/100CANON/*.JPG "$MNT/DCIM/100CANON/"
    for folder in "Vacances été" Φωτογραφίες Фотографии 写真 "Party 🎉" Videos; do
        cp -r "$ORIG/$folder" "$MNT/"
    done
    cp "$ORIG/$LONG_NAME" "$MNT/"
    for round in $(seq -w 1 $ROUNDS); do
        for part in a b; do
            cat "$WORK/$part.$round" >>"$MNT/Fragments/grown_$part.bin"
            sync "$MNT/Fragments/grown_$part.bin"
        done
    done
    cp -r "$ORIG/Old trip" "$MNT/"
    sync
    rm -r "$MNT/Old trip"
    for i in 03 06 09 12 15 18; do
        rm "$MNT/DCIM/100CANON/IMG_00$i.JPG"
    done
}

Volume() {  # NAME CLUSTER_SIZE
    local v=$WORK/$1.vol
    truncate -s $VOLUME_BYTES "$v"
    mkfs.exfat -c "$2" -L LUMAREST "$v" >/dev/null
    MountExFat "$v"
    Fill
    Unmount
}

Card() {  # NAME VOLUME
    local disk=$WORK/$1.img
    truncate -s $((2048 * 512 + VOLUME_BYTES)) "$disk"
    sfdisk -q --no-reread --no-tell-kernel "$disk" <<<"label: dos
start=2048, size=$((VOLUME_BYTES / 512)), type=7" >/dev/null
    dd if="$2" of="$disk" bs=512 seek=2048 conv=notrunc,sparse status=none
    mv "$disk" "$OUTDIR/"
}

for size in 4k 32k 128k; do
    Volume "vol_$size" "${size^^}"
    Card "card_$size" "$WORK/vol_$size.vol"
done
cp --sparse=always "$WORK/vol_32k.vol" "$OUTDIR/bare_32k.img"
FinishImages
