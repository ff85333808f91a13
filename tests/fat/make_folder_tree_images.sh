#!/usr/bin/env bash
# Builds the FAT volumes the folder-tree tests need beyond the lost-directory ones, into OUTDIR:
# freshly made volumes that hold no folder at all.
#
#   make_folder_tree_images.sh OUTDIR
#
# Volumes: empty_f16 (FAT16), empty_f32 (FAT32). Images are rebuilt only when this script
# changed.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../support/image_script.sh"
StartImages make_folder_tree_images "${1:-}" mkfs.fat

Volume() {  # NAME SECTORS FATBITS
    local image=$WORK/$1.img
    mkfs.fat --invariant -C -F "$3" -s 1 -S 512 "$image" $(($2 / 2)) >/dev/null
    mv "$image" "$OUTDIR/$1.img"
}

Volume empty_f16 32768 16
Volume empty_f32 81920 32
FinishImages
