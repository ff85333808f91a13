#!/usr/bin/env bash
# Times Lumarest's raw search on an image of today's phone and camera files (JPEG photos with
# Exif, HEIC pictures made with heif-enc, MP4 and MOV clips made with ffmpeg, the movie box
# first in some and last in others, camera raw photos carrying a JPEG preview), each run from a
# cold cache, against photorec with all its
# default types, and counts the files each tool saved whole, the junk it saved, the bytes it
# wrote and its largest resident memory.
#
#   bench/media_raw_bench.sh [WORK_FOLDER]
#
# WORK_FOLDER (default build/bench in the repository) keeps the image, the files and every
# tool's output; the image is made once and reused while the way it is made stays the same.
# LUMAREST_CLI names the lumarest-cli to time; without it a Release build is made in
# WORK_FOLDER/cli-build. RUNS (default 3) is how often each tool runs; the fastest run counts.
# Run by hand on a quiet machine: no test runs this.
set -euo pipefail

readonly kPhotos=40
readonly kPictures=30
readonly kClips=12
readonly kRaws=8
readonly kRuns=${RUNS:-3}
readonly kSeed=20261210
readonly kImageBytes=$((512 * 1024 * 1024))
readonly kFillerKey=4c756d6172657374206d656469612e2e
readonly kFillerIv=00000000000000000000000000000000

here=$(cd "$(dirname "$0")" && pwd)
source "$here/bench_lib.sh"
BenchWorkFolder "${1:-}"
helper=("python3" "$here/bench_photos.py")
image=$work/media.img
files=$work/media
stamp=$work/.media.stamp

MakeFiles() {
  rm -rf "$files"
  mkdir -p "$files/bases"
  local n
  for n in $(seq "$kPhotos"); do
    local width=$((2000 + (n % 5) * 400)) height=$((1500 + (n % 5) * 300))
    convert -seed $((kSeed + n)) -size "${width}x${height}" plasma:fractal \
      -attenuate 0.4 +noise Gaussian -quality $((80 + n % 15)) "$files/photo$n.jpg"
    exiftool -q -overwrite_original -Make=Apple "-Model=iPhone 15" \
      "-DateTimeOriginal=2024:07:$((10 + n % 18)) 1$((n % 10)):30:$((10 + n))" "$files/photo$n.jpg"
  done
  # Two in three with a thumbnail item, as phones write them; the rest as converters do.
  for n in $(seq "$kPictures"); do
    local thumbnail=()
    [ $((n % 3)) != 0 ] && thumbnail=(-t 320)
    heif-enc -q $((50 + n % 30)) "${thumbnail[@]}" "$files/photo$n.jpg" \
      -o "$files/picture$n.heic" >/dev/null
  done
  for n in $(seq "$kClips"); do
    local flags=() kind=mp4
    [ $((n % 2)) = 0 ] && flags=(-movflags +faststart)
    [ $((n % 3)) = 0 ] && kind=mov
    ffmpeg -loglevel error -f lavfi -i "testsrc2=duration=$((2 + n % 6)):size=1280x720:rate=30" \
      -f lavfi -i "sine=frequency=$((300 + n * 40)):duration=$((2 + n % 6))" \
      -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -shortest \
      -metadata creation_time="2024-08-0$((1 + n % 9))T12:00:00Z" "${flags[@]}" \
      "$files/clip$n.$kind"
  done
  # Raw photos laid out as TIFF, each carrying one of the photos as its preview.
  local makers=("NIKON CORPORATION:NIKON D750:nef" "SONY:ILCE-7M3:arw" "PENTAX:PENTAX K-1:pef")
  for n in $(seq "$kRaws"); do
    local maker=${makers[$((n % 3))]}
    "${helper[@]}" raw "$files/photo$n.jpg" "$files/raw$n.${maker##*:}" "${maker%%:*}" \
      "$(echo "$maker" | cut -d: -f2)" $(((6 + n % 5) * 1000000)) $((kSeed + n))
  done
  rm -rf "$files/bases"
}

MakeImage() {
  local signature
  signature=$({
    cat "$here/bench_photos.py"
    echo "$kPhotos $kPictures $kClips $kRaws $kSeed $kImageBytes $kFillerKey $kFillerIv"
    declare -f MakeFiles MakeImage
  } | sha256sum | cut -d' ' -f1)
  if [ -f "$image" ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$signature" ]; then
    return
  fi
  echo "Making $image with $((kPhotos + kPictures + kClips + kRaws)) files..." >&2
  rm -f "$stamp"
  MakeFiles
  head -c "$kImageBytes" \
    < <(openssl enc -aes-128-ctr -nosalt -K "$kFillerKey" -iv "$kFillerIv" </dev/zero 2>/dev/null) \
    >"$image"
  "${helper[@]}" assemble "$image" "$kSeed" "$files"/* >"$work/media.layout"
  echo "$signature" >"$stamp"
}

Need convert "apt-get install imagemagick"
Need exiftool "apt-get install libimage-exiftool-perl"
Need heif-enc "apt-get install libheif-examples"
Need ffmpeg "apt-get install ffmpeg"
Need openssl "apt-get install openssl"
Need python3 "apt-get install python3"
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed: apt-get install time" >&2; exit 2; }
MakeImage
FindCli

out=$work/out-media
mkdir -p "$out"
mb=$(awk -v b="$kImageBytes" 'BEGIN { printf "%.1f", b / 1e6 }')
filesMb=$(du -cb "$files"/* | tail -1 | awk '{ printf "%.1f", $1 / 1e6 }')
load=$(cut -d' ' -f1-3 /proc/loadavg)

rows=()
Row() {
  local wall cpu rss whole junk written
  read -r wall cpu rss <<<"$2"
  read -r whole junk written <<<"$3"
  rows+=("$(printf '%-34s %8s %8s %6s %6s %9s %7s %6s' "$1" "$wall" "$cpu" "$whole" "$junk" \
    "$written" "$rss" "$(awk -v s="$wall" -v p="${photorec%% *}" \
      'BEGIN { if (s > 0 && p > 0) printf "%.2f", s / p; else print "-" }')")")
}

LumarestFull() { Fresh "$1" && Timed "$1.log" "$cli" raw --image "$image" --out "$1"; }
LumarestScan() { Fresh "$1" && Timed "$1.log" "$cli" raw --image "$image" --no-decode --out "$1"; }
Photorec() {
  Fresh "$1"
  (cd "$1" && Timed "$1.log" photorec /log /d "$1/recup" /cmd "$image" \
    "partition_none,options,paranoid,search")
}
Counted() { "${helper[@]}" whole "$files" "$1"; }

photorec="- - -"
if command -v photorec >/dev/null; then
  photorec=$(Best Photorec "$out/photorec")
fi
full=$(Best LumarestFull "$out/lumarest")
Row "lumarest raw --out" "$full" "$(Counted "$out/lumarest")"
scan=$(Best LumarestScan "$out/lumarest-scan")
Row "lumarest raw --no-decode --out" "$scan" "$(Counted "$out/lumarest-scan")"
if command -v photorec >/dev/null; then
  Row "photorec (default types, checks)" "$photorec" "$(Counted "$out/photorec")"
else
  Row "photorec (not installed)" "- - -" "- - -"
fi

echo "Image: $image, $mb MB: $kPhotos JPEG, $kPictures HEIC, $kClips MP4 and MOV, $kRaws raw ($filesMb MB)"
echo "Machine: $(nproc) cores, $(uname -m), $(date -u +%Y-%m-%d)"
echo "lumarest-cli: $cli"
echo "Each run reads the image from the disk (evicted from the page cache first); times are the"
echo "fastest of $kRuns runs. Load average before the runs: $load"
echo
printf '%-34s %8s %8s %6s %6s %9s %7s %6s\n' "Tool" "Seconds" "CPU s" "Whole" "Junk" \
  "MB saved" "RSS MB" "vs PR"
printf '%s\n' "${rows[@]}"
echo
echo "Whole: files saved byte for byte as they were written; Junk: saved files that are none of"
echo "them; MB saved: all the tool wrote; RSS MB: largest resident memory of any run; vs PR:"
echo "seconds over photorec's. Lumarest runs its general scan only (no --thorough)."
