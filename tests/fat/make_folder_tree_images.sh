#!/usr/bin/env bash
# Builds the FAT volumes the folder-tree tests need beyond the lost-directory ones, into OUTDIR:
# freshly made volumes that hold no folder at all.
#
#   make_folder_tree_images.sh OUTDIR
#
# Volumes: empty_f16 (FAT16), empty_f32 (FAT32). Images are rebuilt only when this script
# changed.
set -euo pipefail

if [[ $# -ne 1 ]]; then
    echo "usage: $0 OUTDIR" >&2
    exit 2
fi
mkdir -p "$1"
OUTDIR=$(cd "$1" && pwd)
readonly OUTDIR
PATH=$PATH:/usr/sbin:/sbin

for tool in mkfs.fat flock sha256sum; do
    command -v "$tool" >/dev/null || {
        echo "make_folder_tree_images: missing tool: $tool" >&2
        exit 1
    }
done

exec 9>"$OUTDIR/.lock"
flock 9
HASH=$(sha256sum "${BASH_SOURCE[0]}" | cut -c1-16)
if [[ -f $OUTDIR/.stamp && $(cat "$OUTDIR/.stamp") == "$HASH" ]]; then
    exit 0
fi
WORK=$(mktemp -d "$OUTDIR/.work.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

Volume() {  # NAME SECTORS FATBITS
    local image=$WORK/$1.img
    mkfs.fat --invariant -C -F "$3" -s 1 -S 512 "$image" $(($2 / 2)) >/dev/null
    mv "$image" "$OUTDIR/$1.img"
}

Volume empty_f16 32768 16
Volume empty_f32 81920 32
echo "$HASH" >"$OUTDIR/.stamp"
