#!/usr/bin/env bash
# Times Lumarest's Standard search on a card image whose 4 GiB exFAT volume holds 20 000
# folders and 100 000 small files (two albums, 200 folders and 1 000 files, deleted), against
# `fls -r -p` of The Sleuth Kit: the whole listing command of each, taking turns.
#
#   bench/exfat_standard_bench.sh [WORK_FOLDER]
#
# WORK_FOLDER (default build/bench in the repository) keeps the image (sparse) and every tool's
# output; the image is made once and reused while the way it is made stays the same. Making it
# needs mkfs.exfat and the exFAT FUSE driver, run as root (the driver is given a loop device).
# LUMAREST_CLI names the lumarest-cli to time; without it a Release build is made in
# WORK_FOLDER/cli-build. RUNS (default 3) is how often each tool runs; the medians count.
# FLS_ONLY=1 times fls alone. Run by hand on a quiet machine: no test runs this.
set -euo pipefail

readonly kRuns=${RUNS:-3}
readonly kVolumeBytes=$((4 * 1024 * 1024 * 1024))
readonly kPartitionStart=2048
readonly kClusterSize=32K
# 200 albums of 99 events: 20 000 folders; 5 files in each: 100 000 files.
readonly kAlbums=200
readonly kEvents=99
readonly kFilesPerFolder=5
readonly kDeletedAlbums=("Album 050" "Album 150")

here=$(cd "$(dirname "$0")" && pwd)
source "$here/bench_lib.sh"
BenchWorkFolder "${1:-}"
image=$work/exfat-standard.img
stamp=$work/.exfat-standard.stamp
export LC_ALL=C.UTF-8
PATH=$PATH:/usr/sbin:/sbin

# Formats and fills the partition in place, in a process of its own so the mount helper's
# clean-up (unmounting, the loop device, its scratch folder) runs whatever happens.
FillPartition() {  # IMAGE
  (
    WORK=$(mktemp -d "$work/.exfat-fill.XXXXXX")
    source "$repo/tests/support/fuse_mount.sh"
    AttachLoop "$1" $((kPartitionStart * 512)) "$kVolumeBytes"
    mkfs.exfat -c "$kClusterSize" -L BENCHEXFAT "$LOOP" >/dev/null
    MountExFat
    python3 "$here/ntfs_tree.py" "$MNT" "$kAlbums" "$kEvents" "$kFilesPerFolder"
    for album in "${kDeletedAlbums[@]}"; do
      rm -rf "${MNT:?}/$album"
    done
    Unmount
  ) || { echo "could not fill the exFAT volume through FUSE (status $?)" >&2; exit 2; }
}

MakeImage() {
  local signature
  # Only what shapes the image: the tree writer, the constants and this maker.
  signature=$({
    cat "$here/ntfs_tree.py"
    echo "$kVolumeBytes $kPartitionStart $kClusterSize $kAlbums $kEvents $kFilesPerFolder"
    echo "${kDeletedAlbums[*]}"
    declare -f MakeImage FillPartition
  } | sha256sum | cut -d' ' -f1)
  if [ -f "$image" ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$signature" ]; then
    return
  fi
  echo "Making $image with $((kAlbums * (kEvents + 1))) folders and" \
    "$((kAlbums * (kEvents + 1) * kFilesPerFolder)) files..." >&2
  local started=$SECONDS
  rm -f "$stamp" "$image" "$image.new"
  truncate -s $((kPartitionStart * 512 + kVolumeBytes)) "$image.new"
  sfdisk -q --no-reread --no-tell-kernel "$image.new" <<<"label: dos
start=$kPartitionStart, size=$((kVolumeBytes / 512)), type=7" >/dev/null
  FillPartition "$image.new"
  mv "$image.new" "$image"
  echo "$signature" >"$stamp"
  echo "Made the image in $((SECONDS - started)) s." >&2
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

Median() {  # NUMBER...
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
    if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2];
    else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

Need python3 "apt-get install python3"
Need mkfs.exfat "apt-get install exfatprogs"
Need mount.exfat-fuse "apt-get install exfat-fuse"
Need losetup "apt-get install mount"
Need sfdisk "apt-get install fdisk"
Need fls "apt-get install sleuthkit"
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed: apt-get install time" >&2; exit 2; }
MakeImage
flsOnly=${FLS_ONLY:-0}
[ "$flsOnly" = 1 ] || FindCli

out=$work/out
mkdir -p "$out"
load=$(cut -d' ' -f1-3 /proc/loadavg)
# Everything reads the image from the page cache, so the figures compare the tools, not the disk.
cat "$image" >/dev/null

# The tools take turns, so a busy spell on the machine slows both rather than one.
ours=() oursCpu=() fls=() flsCpu=()
for run in $(seq "$kRuns"); do
  if [ "$flsOnly" != 1 ]; then
    times=$(Timed "$out/exfat-standard-$run" "$cli" --image "$image" standard --partition 1)
    ours+=("${times% *}") oursCpu+=("${times#* }")
  fi
  times=$(Timed "$out/exfat-fls-$run" fls -r -p -o "$kPartitionStart" "$image")
  fls+=("${times% *}") flsCpu+=("${times#* }")
done

# Entries of the tree: the file system's own ($-named) and the volume label left out.
flsEntries=$(grep -v $'\t\\$' "$out/exfat-fls-1" | grep -vc '(Volume Label Entry)$' || true)
flsDeleted=$(grep -c '^[^ ]* \* ' "$out/exfat-fls-1" || true)
oursMedian=- oursCpuMedian=- summary="not run (FLS_ONLY=1)" ratio=-
if [ "$flsOnly" != 1 ]; then
  oursMedian=$(Median "${ours[@]}")
  oursCpuMedian=$(Median "${oursCpu[@]}")
  summary=$(grep -m1 "in the rebuilt tree" "$out/exfat-standard-1.err" | sed 's/^lumarest-cli: //')
fi
flsMedian=$(Median "${fls[@]}")
ratio=$(awk -v s="$oursMedian" -v f="$flsMedian" \
  'BEGIN { if (s + 0 > 0 && f + 0 > 0) printf "%.2f", s / f; else print "-" }')

echo "Image: $image, MBR card with a $((kVolumeBytes >> 30)) GiB exFAT partition" \
  "($kClusterSize clusters) at sector $kPartitionStart, sparse"
echo "Tree: $((kAlbums * (kEvents + 1))) folders, $((kAlbums * (kEvents + 1) * kFilesPerFolder))" \
  "files; ${#kDeletedAlbums[@]} albums deleted"
echo "Machine: $(nproc) cores, $(uname -m), $(date -u +%Y-%m-%d); load average before: $load"
echo "lumarest-cli: ${cli:-"-"} ($summary)"
echo "fls: $flsEntries entries, $flsDeleted deleted"
echo "Medians of $kRuns runs, the tools taking turns."
echo
printf '%-44s %8s %8s %8s\n' "Command" "Seconds" "CPU s" "vs fls"
printf '%-44s %8s %8s %8s\n' "lumarest-cli standard --partition 1" "$oursMedian" \
  "$oursCpuMedian" "$ratio"
printf '%-44s %8s %8s %8s\n' "fls -r -p" "$flsMedian" "$(Median "${flsCpu[@]}")" "1.00"
echo
echo "Seconds: wall clock; CPU s: user and system time of the whole process; vs fls: seconds"
echo "over fls's. Each run: ${ours[*]:-"-"} (lumarest), ${fls[*]} (fls)."
