#!/usr/bin/env bash
# Times Lumarest's Standard search on a 1 GiB disk image whose NTFS volume's master file table
# holds over 200 000 records (2 100 folders, 210 000 files, two albums deleted): the MFT scan,
# the whole search to a built folder tree, and the whole command with its listing, as text and
# as JSON; against `fls -r -p` of The Sleuth Kit where it is installed.
#
#   bench/ntfs_standard_bench.sh [WORK_FOLDER]
#
# WORK_FOLDER (default build/bench in the repository) keeps the image and every tool's output;
# the image is made once and reused while the way it is made stays the same. Making it needs
# mkntfs and ntfs-3g with FUSE (run as root, or where /dev/fuse may be used). LUMAREST_CLI
# names the lumarest-cli to time; without it a Release build is made in WORK_FOLDER/cli-build.
# RUNS (default 3) is how often each tool runs; the fastest run counts.
# Run by hand on a quiet machine: no test runs this.
set -euo pipefail

readonly kRuns=${RUNS:-3}
readonly kImageBytes=$((1024 * 1024 * 1024))
readonly kPartitionStart=2048
# 100 albums of 20 events: 2 100 folders; 100 files in each: 210 000 files, so the table holds
# over 200 000 records even with the deleted albums' records out of use.
readonly kAlbums=100
readonly kEvents=20
readonly kFilesPerFolder=100
# Two albums (42 folders, 4 200 files) are deleted, so the scan meets deleted records too.
readonly kDeletedAlbums=("Album 050" "Album 099")

here=$(cd "$(dirname "$0")" && pwd)
source "$here/bench_lib.sh"
BenchWorkFolder "${1:-}"
image=$work/ntfs-standard.img
stamp=$work/.ntfs-standard.stamp
export LC_ALL=C.UTF-8
PATH=$PATH:/usr/sbin:/sbin

mountPoint="" mountPid=""
# Unmounts the volume and waits for ntfs-3g to write it out and end.
Unmount() {
  [ -n "$mountPoint" ] || return 0
  umount "$mountPoint" 2>/dev/null || fusermount -u "$mountPoint" 2>/dev/null || true
  [ -z "$mountPid" ] || wait "$mountPid" || true
  rmdir "$mountPoint" 2>/dev/null || true
  mountPoint="" mountPid=""
}
trap Unmount EXIT

# Mounts VOLUME on a new folder through FUSE, ntfs-3g running in the foreground of a
# background job so its end (the volume written out) can be waited for.
MountVolume() {  # VOLUME
  mountPoint=$work/ntfs-mount
  mkdir -p "$mountPoint"
  ntfs-3g -o no_detach,big_writes "$1" "$mountPoint" >"$work/ntfs-3g.log" 2>&1 &
  mountPid=$!
  for _ in $(seq 100); do
    mountpoint -q "$mountPoint" && return 0
    kill -0 "$mountPid" 2>/dev/null || break
    sleep 0.1
  done
  echo "ntfs-3g could not mount $1 on $mountPoint (FUSE not usable here?)" >&2
  exit 2
}

MakeImage() {
  local signature
  # Only what shapes the image: the tree writer, the constants and this maker.
  signature=$({
    cat "$here/ntfs_tree.py"
    echo "$kImageBytes $kPartitionStart $kAlbums $kEvents $kFilesPerFolder ${kDeletedAlbums[*]}"
    declare -f MakeImage MountVolume
  } | sha256sum | cut -d' ' -f1)
  if [ -f "$image" ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$signature" ]; then
    return
  fi
  echo "Making $image with $((kAlbums * (kEvents + 1))) folders and" \
    "$((kAlbums * (kEvents + 1) * kFilesPerFolder)) files..." >&2
  local started=$SECONDS
  rm -f "$stamp" "$image"
  local volume=$work/ntfs-standard.volume
  rm -f "$volume"
  truncate -s $((kImageBytes - kPartitionStart * 512)) "$volume"
  # 4 KiB clusters and 1 KiB records, as a disk of this size is formatted.
  mkntfs -q -F -f -s 512 -c 4096 -p "$kPartitionStart" -H 255 -S 63 -L BENCHNTFS "$volume" \
    >/dev/null 2>&1
  MountVolume "$volume"
  python3 "$here/ntfs_tree.py" "$mountPoint" "$kAlbums" "$kEvents" "$kFilesPerFolder"
  for album in "${kDeletedAlbums[@]}"; do
    rm -rf "${mountPoint:?}/$album"
  done
  Unmount
  truncate -s "$kImageBytes" "$image.sparse"
  sfdisk -q --no-reread --no-tell-kernel "$image.sparse" <<<"label: dos
$kPartitionStart,,7" >/dev/null
  dd if="$volume" of="$image.sparse" bs=4M seek=$((kPartitionStart * 512)) oflag=seek_bytes \
    conv=notrunc status=none
  rm -f "$volume"
  # Every sector really on the disk: a hole would be read as zeros without touching a block.
  cp --sparse=never "$image.sparse" "$image"
  rm -f "$image.sparse"
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

# The seconds lumarest-cli's --timings line for a phase gives.
PhaseSeconds() {  # LOG PHASE
  sed -n "s/^lumarest-cli: timing: $2 \([0-9.]*\) s.*/\1/p" "$1.err"
}

Need python3 "apt-get install python3"
Need mkntfs "apt-get install ntfs-3g"
Need ntfs-3g "apt-get install ntfs-3g"
Need sfdisk "apt-get install fdisk"
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed: apt-get install time" >&2; exit 2; }
MakeImage
FindCli

out=$work/out
mkdir -p "$out"
load=$(cut -d' ' -f1-3 /proc/loadavg)
# Everything reads the image from the page cache, so the figures compare the tools, not the disk.
cat "$image" >/dev/null
# slots, records, in use, folders, files, not in use
read -r slots records inUse folders files unused \
  < <(python3 "$here/ntfs_mft_count.py" "$image" $((kPartitionStart * 512)))

Faster() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }

# The run with the shortest search counts for the phases; the whole command's figure is the
# fastest whole run, which need not be the same one. The tools take turns, so a busy spell on
# the machine slows both rather than one.
haveFls=$(command -v fls >/dev/null && echo yes || echo no)
best="" bestSearch="" bestTimes="" jsonTimes="" flsTimes="-" flsLines="-"
for run in $(seq "$kRuns"); do
  log=$out/ntfs-standard-$run
  times=$(Timed "$log" "$cli" --image "$image" standard --partition 1 --timings)
  search=$(PhaseSeconds "$log" "Standard search")
  if [ -z "$bestSearch" ] || Faster "$search" "$bestSearch"; then
    best=$log bestSearch=$search
  fi
  if [ -z "$bestTimes" ] || Faster "${times% *}" "${bestTimes% *}"; then
    bestTimes=$times
  fi
  times=$(Timed "$out/ntfs-standard-json" "$cli" --json --image "$image" standard --partition 1)
  if [ -z "$jsonTimes" ] || Faster "${times% *}" "${jsonTimes% *}"; then
    jsonTimes=$times
  fi
  if [ "$haveFls" = yes ]; then
    times=$(Timed "$out/ntfs-fls" fls -r -p -o "$kPartitionStart" "$image")
    if [ "$flsTimes" = "-" ] || Faster "${times% *}" "${flsTimes% *}"; then
      flsTimes=$times
    fi
  fi
done
scan=$(PhaseSeconds "$best" "MFT scan")
reattach=$(PhaseSeconds "$best" "re-attaching orphans")
build=$(PhaseSeconds "$best" "building the folder tree")
listing=$(PhaseSeconds "$best" "listing the tree")
summary=$(grep -m1 "in the rebuilt tree" "$best.err" | sed 's/^lumarest-cli: //')
[ "$haveFls" = no ] || flsLines=$(wc -l <"$out/ntfs-fls")

Rate() { awk -v s="$1" -v n="$slots" 'BEGIN { if (s > 0) printf "%.0f", n / s; else print "-" }'; }
Ratio() { awk -v s="$1" -v f="$2" 'BEGIN { if (s > 0 && f > 0) printf "%.2f", s / f; else print "-" }'; }
# Row LABEL SECONDS CPU RATED: the rate only for the steps that read the whole table.
Row() {
  local rate=-
  [ "$4" = rated ] && rate=$(Rate "$2")
  printf '%-40s %8s %8s %10s %8s\n' "$1" "$2" "$3" "$rate" "$(Ratio "$2" "${flsTimes% *}")"
}

echo "Image: $image, $(awk -v b="$kImageBytes" 'BEGIN { printf "%.0f", b / 1048576 }') MiB" \
  "MBR disk, one NTFS partition (4 KiB clusters, 1 KiB records)"
echo "Master file table: $slots slots, $records records, $inUse in use ($folders folders," \
  "$files files, the system files among them), $unused not in use"
echo "Machine: $(nproc) cores, $(uname -m), $(date -u +%Y-%m-%d)"
echo "lumarest-cli: $cli ($summary)"
echo "fls: $flsLines lines"
echo "Each figure is the fastest of $kRuns runs, the tools taking turns."
echo "Load average before the runs: $load"
echo
printf '%-40s %8s %8s %10s %8s\n' "Step" "Seconds" "CPU s" "Records/s" "vs fls"
Row "lumarest MFT scan" "$scan" - rated
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
echo "Seconds: wall clock; CPU s: user and system time of the whole process; Records/s: the"
echo "table's slots over the wall clock, for the steps that read it all. vs fls: seconds over"
echo "fls's. The phases come from lumarest-cli --timings; the whole command adds finding the"
echo "disk, the partition table and printing the listing."
