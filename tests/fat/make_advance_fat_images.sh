#!/usr/bin/env bash
# Builds the disks the Advance FAT tests search, with sfdisk, mkfs.fat and mtools, into OUTDIR:
# FAT volumes at odd sector offsets inside larger disks whose partition table and boot
# sectors are then wiped, so only their directories tell where they are.
#
#   make_advance_fat_images.sh OUTDIR
#
# wiped_f16_s4.img  FAT16, 4 sectors per cluster, at sector 1001 of 60000
# wiped_f32_s1.img  FAT32, 1 sector per cluster, at sector 2047 of 80000 (backup boot too)
# wiped_two.img     FAT16 with 2 sectors per cluster at 333 and FAT16 with 8 at 25111, of 70000
# intact_f32_s2.img FAT32, 2 sectors per cluster, at 129 of 140000, its boot sector kept
# VOLUME.vol        each intact volume as made, for fls: f16_s4, f32_s1, two_a, two_b, f32_s2
# VOLUME.offset     the sector it was placed at
#
# Images are rebuilt only when this script changed.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../support/image_script.sh"
StartImages make_advance_fat_images "${1:-}" sfdisk mkfs.fat mmd mcopy dd
readonly SECTOR=512
head -c 3000 <(yes "Lumarest advance search test line") >"$WORK/text.txt"

FillVolume() {  # VOLUME
    local v=$1
    mmd -i "$v" ::/Photos ::/Photos/2019 ::/Photos/2019/Summer ::/Photos/2020 ::/Documents
    mmd -i "$v" ::/Documents/Letters ::/Documents/Letters/Old ::/Music ::/Gone ::/Gone/Inner
    mcopy -i "$v" "$WORK/text.txt" ::/Photos/2019/Summer/beach.txt
    mcopy -i "$v" "$WORK/text.txt" ::/Photos/2020/snow.txt
    mcopy -i "$v" "$WORK/text.txt" ::/Documents/Letters/Old/aunt.txt
    mcopy -i "$v" "$WORK/text.txt" ::/Music/song.txt
    mcopy -i "$v" "$WORK/text.txt" ::/readme.txt
    mcopy -i "$v" "$WORK/text.txt" ::/Gone/Inner/lost.txt
}

MakeVolume() {  # NAME FAT SPC SECTORS
    mkfs.fat --invariant -C -F "$2" -s "$3" -S $SECTOR "$WORK/$1.vol" "$(($4 / 2))" >/dev/null
    FillVolume "$WORK/$1.vol"
}

StartDisk() {  # DISK SECTORS
    truncate -s $(($2 * SECTOR)) "$WORK/$1.img"
    printf 'label: dos\nstart=63, type=e\n' |
        sfdisk -q --no-reread --no-tell-kernel "$WORK/$1.img" >/dev/null
}

PlaceVolume() {  # DISK NAME START
    dd if="$WORK/$2.vol" of="$WORK/$1.img" bs=$SECTOR seek="$3" conv=notrunc,sparse status=none
    echo "$3" >"$WORK/$2.offset"
}

WipeSector() {  # DISK SECTOR
    dd if=/dev/zero of="$WORK/$1.img" bs=$SECTOR seek="$2" count=1 conv=notrunc status=none
}

MakeVolume f16_s4 16 4 40000
MakeVolume f32_s1 32 1 70000
MakeVolume two_a 16 2 20000
MakeVolume two_b 16 8 40000
MakeVolume f32_s2 32 2 135000

StartDisk wiped_f16_s4 60000
PlaceVolume wiped_f16_s4 f16_s4 1001
WipeSector wiped_f16_s4 0
WipeSector wiped_f16_s4 1001

StartDisk wiped_f32_s1 80000
PlaceVolume wiped_f32_s1 f32_s1 2047
for sector in 0 2047 2053; do
    WipeSector wiped_f32_s1 $sector
done

StartDisk wiped_two 70000
PlaceVolume wiped_two two_a 333
PlaceVolume wiped_two two_b 25111
for sector in 0 333 25111; do
    WipeSector wiped_two $sector
done

StartDisk intact_f32_s2 140000
PlaceVolume intact_f32_s2 f32_s2 129
WipeSector intact_f32_s2 0

for name in wiped_f16_s4 wiped_f32_s1 wiped_two intact_f32_s2; do
    mv "$WORK/$name.img" "$OUTDIR/$name.img"
done
for name in f16_s4 f32_s1 two_a two_b f32_s2; do
    mv "$WORK/$name.vol" "$WORK/$name.offset" "$OUTDIR/"
done
FinishImages
