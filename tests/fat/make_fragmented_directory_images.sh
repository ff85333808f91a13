#!/usr/bin/env bash
# Builds FAT volumes whose directories are not in one piece, with mkfs.fat and mtools, into
# OUTDIR.
#
#   make_fragmented_directory_images.sh OUTDIR
#
# Every volume holds:
# - "Scattered Folder", whose directory grows one cluster at a time between the clusters of its
#   own files, so its clusters lie apart on the disk and long names run from the end of one
#   cluster into the next; it holds files and folders with long names of many lengths. The
#   root grows the same way (on FAT32 its clusters lie apart too).
# - "Old Trip", deleted with its whole tree: empty files first fill it beyond its first
#   cluster (so its clusters follow one another), then folders with files and nested folders
#   and files with data, whose entries lie in its last cluster.
# Volumes: f16_s4 (FAT16, 4 sectors per cluster), f32_s1 (FAT32, 1 sector per cluster).
# Images are rebuilt only when this script changed.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../support/image_script.sh"
StartImages make_fragmented_directory_images "${1:-}" mkfs.fat mmd mcopy mdeltree
export LC_ALL=C.UTF-8
printf 'a small file\n' >"$WORK/small.txt"
: >"$WORK/empty"

# "PREFIX I " and then `extra` letters: a name of its own for each I.
NameOf() {  # PREFIX I EXTRA
    printf '%s %s %s' "$1" "$2" "$(printf 'x%.0s' $(seq 0 "$3"))"
}

FillTrip() {  # VOLUME PADS
    local v=$1
    mmd -i "$v" "::/Old Trip"
    for i in $(seq -w 1 "$2"); do
        mcopy -i "$v" "$WORK/empty" "::/Old Trip/Empty page $i.txt"
    done
    mmd -i "$v" "::/Old Trip/Beach Day Photos" "::/Old Trip/Mountain walk" \
        "::/Old Trip/Mountain walk/Summit at sunrise"
    mcopy -i "$v" "$WORK/small.txt" "::/Old Trip/Beach Day Photos/Sand castle.txt"
    mcopy -i "$v" "$WORK/small.txt" "::/Old Trip/Mountain walk/Summit at sunrise/View.txt"
    mcopy -i "$v" "$WORK/small.txt" "::/Old Trip/Travel notes from the trip.txt"
    mcopy -i "$v" "$WORK/small.txt" "::/Old Trip/TICKET.TXT"
}

FillScattered() {  # VOLUME
    local v=$1
    mmd -i "$v" "::/Scattered Folder"
    # Names of 12 to 58 characters: 1 to 5 long-name entries each, so entries of every
    # count meet a cluster's end somewhere.
    for i in $(seq -w 1 40); do
        local length=$(((10#$i * 7) % 47))
        if ((10#$i % 4 == 0)); then
            mmd -i "$v" "::/Scattered Folder/$(NameOf "Folder" "$i" "$length")"
        else
            mcopy -i "$v" "$WORK/small.txt" "::/Scattered Folder/$(NameOf "File" "$i" "$length")"
        fi
        if ((10#$i % 3 == 0)); then
            mmd -i "$v" "::/$(NameOf "Root folder" "$i" "$length")"
        fi
    done
}

Volume() {  # NAME SECTORS FATBITS SECTORS_PER_CLUSTER PADS
    local image=$WORK/$1.img
    mkfs.fat --invariant -C -F "$3" -s "$4" -S 512 "$image" $(($2 / 2)) >/dev/null
    FillTrip "$image" "$5"
    FillScattered "$image"
    mdeltree -i "$image" "::/Old Trip"
    mv "$image" "$OUTDIR/$1.img"
}

# Enough empty files (three entries each) that the folders and files after them go past Old
# Trip's first cluster, and few enough that its last cluster has room for their 10 entries:
# a folder made while its parent grows takes the cluster after the parent's last.
Volume f16_s4 65536 16 4 50
Volume f32_s1 81920 32 1 22
FinishImages
