#!/usr/bin/env bash
# Makes small files of each carved type, for the format checks and the carving scan's tests.
#
#   make_sample_pictures.sh OUTDIR
#
# jpeg_*.jpg   baseline 4:2:0 and 4:4:4, progressive, and with a restart marker every MCU
# anim.gif     three frames;  plain.png;  bmp{1,8,24,32}.bmp at those bit depths
# tiff_*.tif   striped and tiled, in both byte orders
# doc.pdf, archive.zip, data.gz, pcx8.pcx (256 colours), pcx24.pcx (three planes)
#
# Files are remade only when this script changed.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/image_script.sh"
StartImages make_sample_pictures "${1:-}" convert cjpeg zip gzip

base=$WORK/base.ppm
# A seeded plasma: busy enough that the entropy data holds many FF bytes.
convert -seed 7 -size 200x150 plasma:red-blue -depth 8 "$base"
Out() { echo "$OUTDIR/$1"; }

convert "$base" -quality 90 -sampling-factor 2x2 "$(Out jpeg_420.jpg)"
convert "$base" -quality 90 -sampling-factor 1x1 "$(Out jpeg_444.jpg)"
convert "$base" -quality 85 -interlace Plane "$(Out jpeg_progressive.jpg)"
cjpeg -quality 80 -restart 1B "$base" >"$(Out jpeg_restart.jpg)"
convert -seed 3 -size 24x18 plasma: -quality 70 "$(Out jpeg_thumb.jpg)"

convert "$base" "$(Out plain.png)"
convert -delay 10 -seed 1 -size 64x48 plasma: -seed 2 plasma: -seed 3 plasma: -loop 0 \
    "$(Out anim.gif)"

convert "$base" -type bilevel BMP3:"$(Out bmp1.bmp)"
convert "$base" -colors 200 -type palette BMP3:"$(Out bmp8.bmp)"
convert "$base" -type truecolor BMP3:"$(Out bmp24.bmp)"
convert "$base" -alpha set -channel A -evaluate set 60% +channel -type truecoloralpha \
    BMP:"$(Out bmp32.bmp)"

convert "$base" -define tiff:endian=lsb -compress none "$(Out tiff_lsb.tif)"
convert "$base" -define tiff:endian=msb -compress lzw -define tiff:rows-per-strip=16 "$(Out tiff_msb.tif)"
convert "$base" -define tiff:endian=lsb -define tiff:tile-geometry=64x64 "$(Out tiff_tiled_lsb.tif)"
convert "$base" -define tiff:endian=msb -define tiff:tile-geometry=64x64 "$(Out tiff_tiled_msb.tif)"

# ImageMagick's policy forbids writing PDF: a one-page document by hand, with an incremental
# update after it so the file holds two "%%EOF".
{
    printf '%%PDF-1.4\n%%\xe2\xe3\xcf\xd3\n'
    printf '1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n'
    printf '2 0 obj\n<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n'
    printf '3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 150] >>\nendobj\n'
    printf 'trailer\n<< /Root 1 0 R /Size 4 >>\nstartxref\n0\n%%%%EOF\n'
    printf '4 0 obj\n<< /Title (Lumarest) >>\nendobj\n'
    printf 'trailer\n<< /Root 1 0 R /Info 4 0 R /Size 5 >>\nstartxref\n0\n%%%%EOF\r\n'
} >"$(Out doc.pdf)"
(cd "$OUTDIR" && zip -X -q "$WORK/archive.zip" plain.png jpeg_420.jpg && mv "$WORK/archive.zip" archive.zip)
gzip -n -c "$base" >"$(Out data.gz)"
convert "$base" -colors 200 -type palette PCX:"$(Out pcx8.pcx)"
convert "$base" -type truecolor PCX:"$(Out pcx24.pcx)"

FinishImages
