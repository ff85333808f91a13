#!/usr/bin/env bash
# Times Lumarest's raw search on a 1 GiB image of scattered pictures (130 camera JPEGs, 6 PNG,
# 4 GIF, 4 BMP, 6 TIFF), each run from a cold cache, against photorec and foremost where they
# are installed, and counts the pictures each tool saved whole, the junk it saved, the bytes it
# wrote and its largest resident memory.
#
#   bench/raw_search_bench.sh [WORK_FOLDER]
#
# WORK_FOLDER (default build/bench in the repository) keeps the image, the photos and every
# tool's output; the image is made once and reused while the way it is made stays the same.
# LUMAREST_CLI names the lumarest-cli to time; without it a Release build is made in
# WORK_FOLDER/cli-build. RUNS (default 3) is how often each tool runs; the fastest run counts.
# Run by hand on a quiet machine: no test runs this.
set -euo pipefail

readonly kJpegCount=130
# With the 6 PNG, 4 GIF, 4 BMP and 6 TIFF pictures bench_photos.py adds.
readonly kPhotoCount=150
readonly kRuns=${RUNS:-3}
readonly kSeed=20090714
readonly kImageBytes=$((1024 * 1024 * 1024))
# A fixed key and counter over zeros: the same random-looking filler on every run.
readonly kFillerKey=4c756d6172657374206265206e63682e
readonly kFillerIv=00000000000000000000000000000000

here=$(cd "$(dirname "$0")" && pwd)
source "$here/bench_lib.sh"
BenchWorkFolder "${1:-}"
helper=("python3" "$here/bench_photos.py")
image=$work/photos.img
photos=$work/photos
stamp=$work/.photos.stamp

MakePhotos() {
  rm -rf "$photos"
  mkdir -p "$photos/bases"
  # Plasma with noise: photo-like detail, so sizes follow resolution and quality as a camera's do.
  for base in 0 1 2 3 4 5; do
    convert -seed $((kSeed + base)) -size 2000x1500 plasma:fractal \
      -attenuate "0.$((30 + base * 5))" +noise Gaussian "$photos/bases/$base.ppm"
  done
  local makes=("Canon:Canon PowerShot A590 IS" "NIKON CORPORATION:NIKON D60"
    "SONY:DSC-W120" "Apple:iPhone 3GS" "OLYMPUS IMAGING CORP.:FE-310")
  local n=0
  while read -r name width height quality base exif progressive; do
    local source=$photos/bases/$base.ppm
    case "$name" in
      *.jpg)
        local interlace=()
        [ "$progressive" = 1 ] && interlace=(-interlace JPEG)
        convert "$source" -resize "${width}x${height}!" -quality "$quality" \
          -sampling-factor 2x2 "${interlace[@]}" "$photos/$name"
        if [ "$exif" != 0 ]; then
          local camera=${makes[$((n % ${#makes[@]}))]} thumb=()
          if [ "$exif" = 2 ]; then
            convert "$photos/$name" -strip -thumbnail 160x120 -quality 75 "$photos/bases/thumb.jpg"
            thumb=("$photos/bases/thumb.jpg")
          fi
          "${helper[@]}" exif "$photos/$name" "${camera%%:*}" "${camera#*:}" "${thumb[@]}"
        fi
        n=$((n + 1))
        ;;
      *.gif) convert "$source" -resize "${width}x${height}!" -colors 256 "$photos/$name" ;;
      *.tif) convert "$source" -resize "${width}x${height}!" -compress none "$photos/$name" ;;
      *) convert "$source" -resize "${width}x${height}!" "$photos/$name" ;;
    esac
  done < <("${helper[@]}" plan "$kSeed" "$kJpegCount")
  rm -rf "$photos/bases"
}

MakeImage() {
  local signature
  # Only what shapes the image: the photo helper, the constants and the two makers.
  signature=$({
    cat "$here/bench_photos.py"
    echo "$kJpegCount $kPhotoCount $kSeed $kImageBytes $kFillerKey $kFillerIv"
    declare -f MakePhotos MakeImage
  } | sha256sum | cut -d' ' -f1)
  if [ -f "$image" ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$signature" ]; then
    return
  fi
  echo "Making $image with $kPhotoCount photos..." >&2
  rm -f "$stamp"
  MakePhotos
  # Read through a process substitution: openssl ends on a broken pipe once head has enough.
  head -c "$kImageBytes" \
    < <(openssl enc -aes-128-ctr -nosalt -K "$kFillerKey" -iv "$kFillerIv" </dev/zero 2>/dev/null) \
    >"$image"
  "${helper[@]}" assemble "$image" "$kSeed" "$photos"/* >"$work/photos.layout"
  echo "$signature" >"$stamp"
}

Need convert "apt-get install imagemagick"
Need openssl "apt-get install openssl"
Need python3 "apt-get install python3"
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed: apt-get install time" >&2; exit 2; }
MakeImage
FindCli

out=$work/out
mkdir -p "$out"
mb=$(awk -v b="$kImageBytes" 'BEGIN { printf "%.1f", b / 1e6 }')
photoMb=$(du -cb "$photos"/* | tail -1 | awk '{ printf "%.1f", $1 / 1e6 }')
load=$(cut -d' ' -f1-3 /proc/loadavg)

rows=()
# Row LABEL "WALL CPU RSS" "WHOLE JUNK MB": the ratio to Lumarest's whole raw search follows.
Row() {
  local wall cpu rss whole junk written
  read -r wall cpu rss <<<"$2"
  read -r whole junk written <<<"$3"
  rows+=("$(printf '%-34s %8s %8s %6s %6s %9s %7s %6s' "$1" "$wall" "$cpu" "$whole" "$junk" \
    "$written" "$rss" "$(Ratio "$wall" "${full%% *}")")")
}
Ratio() {
  awk -v s="$1" -v l="$2" 'BEGIN { if (s > 0 && l > 0) printf "%.2f", s / l; else print "-" }'
}

# Each tool's run into a fresh output folder ($1); prints its seconds and memory.
LumarestFull() { Fresh "$1" && Timed "$1.log" "$cli" raw --image "$image" --out "$1"; }
LumarestScan() { Fresh "$1" && Timed "$1.log" "$cli" raw --image "$image" --no-decode --out "$1"; }
readonly kPhotorecTypes=jpg,enable,png,enable,gif,enable,bmp,enable,tif,enable
Photorec() {
  Fresh "$1"
  (cd "$1" && Timed "$1.log" photorec /log /d "$1/recup" /cmd "$image" \
    "partition_none,options,$2,fileopt,everything,disable,$3,search")
}
Foremost() { rm -rf "$1" && sync && Timed "$1.log" foremost -t jpg -i "$image" -o "$1"; }

Counted() { "${helper[@]}" whole "$photos" "$1"; }

full=$(Best LumarestFull "$out/lumarest")
Row "lumarest raw --out" "$full" "$(Counted "$out/lumarest")"
scan=$(Best LumarestScan "$out/lumarest-scan")
Row "lumarest raw --no-decode --out" "$scan" "$(Counted "$out/lumarest-scan")"

if command -v photorec >/dev/null; then
  seconds=$(Best Photorec "$out/photorec-checks" paranoid "$kPhotorecTypes")
  Row "photorec (with its checks)" "$seconds" "$(Counted "$out/photorec-checks")"
  seconds=$(Best Photorec "$out/photorec-jpg" paranoid_no jpg,enable)
  Row "photorec JPEG (no checks)" "$seconds" "$(Counted "$out/photorec-jpg")"
else
  Row "photorec (not installed)" "- - -" "- - -"
fi

if command -v foremost >/dev/null; then
  seconds=$(Best Foremost "$out/foremost")
  Row "foremost -t jpg" "$seconds" "$(Counted "$out/foremost")"
else
  Row "foremost (not installed)" "- - -" "- - -"
fi

echo "Image: $image, $mb MB, $kPhotoCount pictures ($photoMb MB)"
echo "Machine: $(nproc) cores, $(uname -m), $(date -u +%Y-%m-%d)"
echo "lumarest-cli: $cli"
echo "Each run reads the image from the disk (evicted from the page cache first); times are the"
echo "fastest of $kRuns runs. Load average before the runs: $load"
echo
printf '%-34s %8s %8s %6s %6s %9s %7s %6s\n' "Tool" "Seconds" "CPU s" "Whole" "Junk" \
  "MB saved" "RSS MB" "Ratio"
printf '%s\n' "${rows[@]}"
echo
echo "Whole: pictures saved byte for byte as they were written; Junk: saved files that are none"
echo "of them; MB saved: all the tool wrote; RSS MB: largest resident memory of any run; Ratio:"
echo "seconds over Lumarest's whole search. Lumarest runs its general scan only (no --thorough)."
