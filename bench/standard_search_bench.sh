#!/usr/bin/env bash
# Times Lumarest's Standard search on a 2 GiB FAT32 disk image holding 20 000 folders and
# 100 000 files: the lost-directory scan alone, the whole search to a built folder tree, and the
# whole command with its listing, as text and as JSON; against `fls -r -p` of The Sleuth Kit
# where it is installed.
#
#   bench/standard_search_bench.sh [WORK_FOLDER]
#
# WORK_FOLDER (default build/bench in the repository) keeps the image and every tool's output;
# the image is made once and reused while the way it is made stays the same. LUMAREST_CLI names
# the lumarest-cli to time; without it a Release build is made in WORK_FOLDER/cli-build. RUNS
# (default 3) is how often each tool runs; the fastest run counts.
# Run by hand on a quiet machine: no test runs this.
set -euo pipefail

readonly kRuns=${RUNS:-3}
readonly kImageBytes=$((2048 * 1024 * 1024))
readonly kPartitionStart=2048
# 100 albums of 199 events: 20 000 folders; 5 files in each: 100 000 files.
readonly kAlbums=100
readonly kEvents=199
readonly kFilesPerFolder=5
# Two albums (400 folders, 2 000 files) are deleted, so the scan meets deleted folders too.
readonly kDeletedAlbums=("Album 050" "Album 099")

here=$(cd "$(dirname "$0")" && pwd)
source "$here/bench_lib.sh"
BenchWorkFolder "${1:-}"
image=$work/standard.img
stamp=$work/.standard.stamp
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
PATH=$PATH:/usr/sbin:/sbin

MakeImage() {
  local signature
  # Only what shapes the image: the tree writer, the constants and this maker.
  signature=$({
    cat "$here/standard_tree.py"
    echo "$kImageBytes $kPartitionStart $kAlbums $kEvents $kFilesPerFolder ${kDeletedAlbums[*]}"
    declare -f MakeImage
  } | sha256sum | cut -d' ' -f1)
  if [ -f "$image" ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$signature" ]; then
    return
  fi
  echo "Making $image with $((kAlbums * (kEvents + 1))) folders and" \
    "$((kAlbums * (kEvents + 1) * kFilesPerFolder)) files..." >&2
  rm -f "$stamp" "$image"
  local tree=$work/standard-tree
  rm -rf "$tree"
  python3 "$here/standard_tree.py" "$tree" "$kAlbums" "$kEvents" "$kFilesPerFolder"
  truncate -s "$kImageBytes" "$image"
  sfdisk -q --no-reread --no-tell-kernel "$image" <<<"label: dos
$kPartitionStart,,c" >/dev/null
  # 4 KiB clusters, as a card or stick of this size has them.
  mkfs.fat --invariant -F 32 -s 8 -S 512 --offset "$kPartitionStart" -h "$kPartitionStart" \
    -n BENCHFAT32 "$image" >/dev/null
  # One mcopy for the whole tree: a call per folder would take minutes.
  mcopy -s -i "$image@@$((kPartitionStart * 512))" "$tree"/* ::/
  local albums=()
  for album in "${kDeletedAlbums[@]}"; do
    albums+=("::/$album")
  done
  mdeltree -i "$image@@$((kPartitionStart * 512))" "${albums[@]}"
  rm -rf "$tree"
  # Every sector really on the disk: a hole would be read as zeros without touching a block.
  cp --sparse=never "$image" "$image.dense"
  mv "$image.dense" "$image"
  echo "$signature" >"$stamp"
}

# Runs a command with its stdout in $1 and its stderr in $1.err, and prints the wall-clock
# seconds and the processor seconds (user and system) it took.
Timed() {
  local log=$1
  shift
  /usr/bin/time -o "$log.time" -f "%e %U %S" "$@" >"$log" 2>"$log.err" ||
    { echo "failed: $* (see $log.err)" >&2; exit 1; }
  awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }' "$log.time"
}

# The seconds lumarest-cli's --timings line for a phase gives.
PhaseSeconds() {  # LOG PHASE
  sed -n "s/^lumarest-cli: timing: $2 \([0-9.]*\) s.*/\1/p" "$1.err"
}

Need python3 "apt-get install python3"
Need mkfs.fat "apt-get install dosfstools"
Need mcopy "apt-get install mtools"
Need sfdisk "apt-get install fdisk"
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed: apt-get install time" >&2; exit 2; }
MakeImage
FindCli

out=$work/out
mkdir -p "$out"
mb=$(awk -v b="$kImageBytes" -v s="$kPartitionStart" 'BEGIN { printf "%.1f", (b - s * 512) / 1e6 }')
load=$(cut -d' ' -f1-3 /proc/loadavg)
# Everything reads the image from the page cache, so the figures compare the tools, not the disk.
cat "$image" >/dev/null

Faster() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }

# The run with the shortest search counts for the phases; each whole command's figure is its
# fastest run, which need not be the same one. The tools take turns, so a busy spell on the
# machine slows all of them rather than one.
haveFls=$(command -v fls >/dev/null && echo yes || echo no)
best="" bestSearch="" bestTimes="" jsonTimes="" flsTimes="-" flsLines="-"
for run in $(seq "$kRuns"); do
  log=$out/standard-$run
  times=$(Timed "$log" "$cli" --image "$image" standard --partition 1 --timings)
  search=$(PhaseSeconds "$log" "Standard search")
  if [ -z "$bestSearch" ] || Faster "$search" "$bestSearch"; then
    best=$log bestSearch=$search
  fi
  if [ -z "$bestTimes" ] || Faster "${times% *}" "${bestTimes% *}"; then
    bestTimes=$times
  fi
  times=$(Timed "$out/standard-json" "$cli" --json --image "$image" standard --partition 1)
  if [ -z "$jsonTimes" ] || Faster "${times% *}" "${jsonTimes% *}"; then
    jsonTimes=$times
  fi
  if [ "$haveFls" = yes ]; then
    times=$(Timed "$out/fls" fls -r -p -o "$kPartitionStart" "$image")
    if [ "$flsTimes" = "-" ] || Faster "${times% *}" "${flsTimes% *}"; then
      flsTimes=$times
    fi
  fi
done
scan=$(PhaseSeconds "$best" "lost-directory scan")
reattach=$(PhaseSeconds "$best" "re-attaching orphans")
build=$(PhaseSeconds "$best" "building the folder tree")
listing=$(PhaseSeconds "$best" "listing the tree")
summary=$(grep -m1 "in the rebuilt tree" "$best.err" | sed 's/^lumarest-cli: //')
[ "$haveFls" = no ] || flsLines=$(wc -l <"$out/fls")

Rate() { awk -v s="$1" -v m="$mb" 'BEGIN { if (s > 0) printf "%.0f", m / s; else print "-" }'; }
Ratio() { awk -v s="$1" -v f="$2" 'BEGIN { if (s > 0 && f > 0) printf "%.2f", s / f; else print "-" }'; }
# Row LABEL SECONDS CPU RATED: the rate only for the steps that read the whole partition.
Row() {
  local rate=-
  [ "$4" = rated ] && rate=$(Rate "$2")
  printf '%-40s %8s %8s %8s %8s\n' "$1" "$2" "$3" "$rate" "$(Ratio "$2" "${flsTimes% *}")"
}

echo "Image: $image, $mb MB FAT32 partition (4 KiB clusters), $((kAlbums * (kEvents + 1)))" \
  "folders and $((kAlbums * (kEvents + 1) * kFilesPerFolder)) files, ${#kDeletedAlbums[@]}" \
  "albums deleted"
echo "Machine: $(nproc) cores, $(uname -m), $(date -u +%Y-%m-%d)"
echo "lumarest-cli: $cli ($summary)"
echo "fls: $flsLines lines"
echo "Each figure is the fastest of $kRuns runs, the tools taking turns."
echo "Load average before the runs: $load"
echo
printf '%-40s %8s %8s %8s %8s\n' "Step" "Seconds" "CPU s" "MB/s" "vs fls"
Row "lumarest lost-directory scan" "$scan" - rated
Row "lumarest re-attaching orphans" "$reattach" - -
Row "lumarest building the folder tree" "$build" - -
Row "lumarest Standard search (to the tree)" "$bestSearch" - rated
Row "lumarest listing the tree" "$listing" - -
Row "lumarest-cli standard (whole command)" "${bestTimes% *}" "${bestTimes#* }" rated
Row "lumarest-cli --json standard (whole)" "${jsonTimes% *}" "${jsonTimes#* }" rated
if [ "$flsTimes" != "-" ]; then
  Row "fls -r -p" "${flsTimes% *}" "${flsTimes#* }" rated
else
  Row "fls (not installed)" - - -
fi
echo
echo "Seconds: wall clock; CPU s: user and system time of the whole process; MB/s: the"
echo "partition's bytes over the wall clock, for the steps that read it all. vs fls: seconds over"
echo "fls's. The phases come from lumarest-cli --timings; the whole command adds finding the"
echo "disk, the partition table and printing the listing."
