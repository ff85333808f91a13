#!/usr/bin/env bash
# Builds, into OUTDIR, NTFS volumes for the Advance search, filled through the ntfs-3g FUSE mount:
#
# tree.vol      a bare volume (2 KiB clusters) with nested folders, large folders and files
# intact.img    tree.vol at sector 3001 of a larger image without partition table
# wiped.img     the same with both of the volume's boot sectors (its first and last) zeroed
# two.img       two volumes (one.vol at 2048, tree.vol after it), each with its boot sectors
# deleted.vol   a bare volume (4 KiB clusters) whose folder "Gone", with a subfolder and files,
#               was deleted
# smallC.img    an MBR disk whose one partition (sector 2048 on) is a small volume of C-byte
#               clusters (4096 and 1024): one small folder, a few files, one of them deleted
# smallC-wiped.img  the same with both of the volume's boot sectors (its first and last) zeroed
#
# OUTDIR/files holds the bytes of the files for the tests to compare with. Exit status 77 when
# FUSE does not work here. Images are rebuilt only when this script changed.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../support/image_script.sh"
[[ -c /dev/fuse ]] || exit 77
StartImages make_advance_ntfs_images "${1:-}" mkntfs ntfs-3g mountpoint sfdisk
. "$(dirname "${BASH_SOURCE[0]}")/../support/fuse_mount.sh"

FILES=$OUTDIR/files
rm -rf "$FILES"
mkdir -p "$FILES"
{ seq -w 1 100000 || true; } | head -c 30000 >"$FILES/report.bin"
printf 'a small note\n' >"$FILES/note.txt"

# Folders with many entries get index blocks of their own; the small ones keep their index in
# their record.
FillTree() {
    local i
    mkdir -p "$MNT/Photos/2009/Summer/Beach" "$MNT/Photos/2010" "$MNT/Documents/Letters" \
        "$MNT/Music/Albums"
    for i in $(seq -w 1 40); do
        cp "$FILES/note.txt" "$MNT/Photos/2009/picture number $i with a long name.txt"
        cp "$FILES/note.txt" "$MNT/Documents/document number $i with a long name.txt"
    done
    for i in $(seq -w 1 25); do
        mkdir "$MNT/Music/Albums/Album $i with a long folder name"
    done
    cp "$FILES/report.bin" "$MNT/Documents/Letters/report.bin"
    cp "$FILES/note.txt" "$MNT/Photos/2009/Summer/Beach/beach.txt"
    cp "$FILES/note.txt" "$MNT/top.txt"
}

FillOne() {
    mkdir -p "$MNT/First Volume/Inside"
    cp "$FILES/note.txt" "$MNT/First Volume/Inside/first.txt"
    cp "$FILES/note.txt" "$MNT/first top.txt"
}

FillDeleted() {
    mkdir -p "$MNT/Gone/Inner" "$MNT/Kept"
    cp "$FILES/note.txt" "$MNT/Gone/gone.txt"
    cp "$FILES/report.bin" "$MNT/Gone/Inner/inner.bin"
    cp "$FILES/note.txt" "$MNT/Kept/kept.txt"
    cp "$FILES/note.txt" "$MNT/Kept/dropped.txt"
    rm -rf "$MNT/Gone" "$MNT/Kept/dropped.txt"
}

# No folder here gets an index block: only the root has one.
FillSmall() {
    mkdir "$MNT/Small"
    cp "$FILES/note.txt" "$MNT/Small/inside.txt"
    cp "$FILES/report.bin" "$MNT/Small/report.bin"
    cp "$FILES/note.txt" "$MNT/Small/dropped.txt"
    cp "$FILES/note.txt" "$MNT/small top.txt"
    rm "$MNT/Small/dropped.txt"
}

MakeVolume() {  # FILE SIZE CLUSTER LABEL FILL
    truncate -s "$2" "$1"
    mkntfs -F -q -Q -s 512 -c "$3" -L "$4" "$1" >/dev/null 2>&1
    Mount "$1"
    "$5"
    Unmount
}

MakeVolume "$WORK/tree.vol" 12M 2048 LMTREE FillTree
MakeVolume "$WORK/one.vol" 6M 4096 LMONE FillOne
MakeVolume "$WORK/deleted.vol" 8M 4096 LMGONE FillDeleted

# Places VOLUME at sector START of IMAGE, which is grown to hold it and some sectors after.
Place() {  # IMAGE VOLUME START
    local bytes
    bytes=$(stat -c %s "$2")
    [[ -f $1 ]] || truncate -s 0 "$1"
    truncate -s "$(((${3} + 2048) * 512 + bytes))" "$1"
    dd if="$2" of="$1" bs=512 seek="$3" conv=notrunc,sparse status=none
}

Place "$WORK/intact.img" "$WORK/tree.vol" 3001
cp "$WORK/intact.img" "$WORK/wiped.img"
TREE_SECTORS=$(($(stat -c %s "$WORK/tree.vol") / 512))
dd if=/dev/zero of="$WORK/wiped.img" bs=512 seek=3001 count=1 conv=notrunc status=none
dd if=/dev/zero of="$WORK/wiped.img" bs=512 seek=$((3001 + TREE_SECTORS - 1)) count=1 \
    conv=notrunc status=none
Place "$WORK/two.img" "$WORK/one.vol" 2048
Place "$WORK/two.img" "$WORK/tree.vol" $((2048 + 6 * 2048 + 512))

SMALL_START=2048
for cluster in 4096 1024; do
    MakeVolume "$WORK/small.vol" 3M "$cluster" LMSMALL FillSmall
    small=$WORK/small$cluster
    Place "$small.img" "$WORK/small.vol" $SMALL_START
    sectors=$(($(stat -c %s "$WORK/small.vol") / 512))
    sfdisk -q --no-reread --no-tell-kernel "$small.img" <<<"start=$SMALL_START, size=$sectors, type=7" \
        >/dev/null 2>&1
    cp "$small.img" "$small-wiped.img"
    for sector in $SMALL_START $((SMALL_START + sectors - 1)); do
        dd if=/dev/zero of="$small-wiped.img" bs=512 seek="$sector" count=1 conv=notrunc status=none
    done
    mv "$small.img" "$small-wiped.img" "$OUTDIR/"
done

mv "$WORK/tree.vol" "$WORK/deleted.vol" "$WORK/intact.img" "$WORK/wiped.img" "$WORK/two.img" "$OUTDIR/"
FinishImages
