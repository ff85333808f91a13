#!/usr/bin/env bash
# Times Lumarest's Advance search on a 4 GiB disk image holding two volumes that nothing
# describes any more: a FAT32 volume with 20 000 folders and an NTFS volume with 100 000 file
# records, each at an odd sector, with no partition table and both volumes' boot sectors (and
# their backups) wiped. Prints, each the fastest of RUNS runs from the page cache:
#   - the FAT32 search: reading the whole disk (seconds and MB/s), grouping the directory starts
#     into volumes, and rebuilding the found volume's tree;
#   - the NTFS search: reading the whole disk, assigning record numbers and volumes, and
#     rebuilding the found volume;
# and fails unless each search finds its volume where it lies.
#
#   bench/advance_search_bench.sh [WORK_FOLDER]
#
# WORK_FOLDER (default build/bench in the repository) keeps the image (4 GiB, really on the
# disk) and every run's output; the image is made once and reused while the way it is made
# stays the same. Making it needs mkfs.fat, mtools, mkntfs and ntfs-3g with FUSE (run as root,
# or where /dev/fuse may be used). LUMAREST_CLI names the lumarest-cli to time; without it a
# Release build is made in WORK_FOLDER/cli-build. RUNS (default 3).
# Run by hand on a quiet machine: no test runs this.
set -euo pipefail

readonly kRuns=${RUNS:-3}
readonly kImageSectors=$((8 * 1024 * 1024))
# 1 GiB volumes at sectors no partitioning tool would choose.
readonly kVolumeSectors=$((2 * 1024 * 1024))
readonly kFatStart=3051
readonly kNtfsStart=$((4 * 1024 * 1024 + 777))
# 200 folders of 99 subfolders: 20 000 folders (the root's children included).
readonly kFatTop=200
readonly kFatSub=99
# 50 albums of 20 events, 95 files in each: 1 050 folders and 99 750 files.
readonly kAlbums=50
readonly kEvents=20
readonly kFilesPerFolder=95

here=$(cd "$(dirname "$0")" && pwd)
source "$here/bench_lib.sh"
BenchWorkFolder "${1:-}"
image=$work/advance-search.img
stamp=$work/.advance-search.stamp
export LC_ALL=C.UTF-8 MTOOLS_SKIP_CHECK=1
PATH=$PATH:/usr/sbin:/sbin

mountPoint="" mountPid=""
Unmount() {
  [ -n "$mountPoint" ] || return 0
  umount "$mountPoint" 2>/dev/null || fusermount -u "$mountPoint" 2>/dev/null || true
  [ -z "$mountPid" ] || wait "$mountPid" || true
  rmdir "$mountPoint" 2>/dev/null || true
  mountPoint="" mountPid=""
}
trap Unmount EXIT

MountVolume() {  # VOLUME
  mountPoint=$work/advance-mount
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

# The FAT32 volume: mtools makes the folders, many to a call.
MakeFatVolume() {  # VOLUME
  truncate -s $((kVolumeSectors * 512)) "$1"
  mkfs.fat -F 32 -s 8 -n ADVBENCH "$1" >/dev/null
  local top sub batch=()
  for top in $(seq -f %03g "$kFatTop"); do
    batch+=("::/ALBUM$top")
  done
  mmd -i "$1" "${batch[@]}"
  for top in $(seq -f %03g "$kFatTop"); do
    batch=()
    for sub in $(seq -f %03g "$kFatSub"); do
      batch+=("::/ALBUM$top/EVENT$sub")
    done
    mmd -i "$1" "${batch[@]}"
  done
}

MakeNtfsVolume() {  # VOLUME
  truncate -s $((kVolumeSectors * 512)) "$1"
  mkntfs -q -F -f -s 512 -c 4096 -L ADVBENCH "$1" >/dev/null 2>&1
  MountVolume "$1"
  python3 "$here/ntfs_tree.py" "$mountPoint" "$kAlbums" "$kEvents" "$kFilesPerFolder"
  Unmount
}

# Zeroes one sector of the image.
WipeSector() {  # SECTOR
  dd if=/dev/zero of="$image.new" bs=512 seek="$1" count=1 conv=notrunc status=none
}

MakeImage() {
  local signature
  signature=$({
    cat "$here/ntfs_tree.py"
    echo "$kImageSectors $kVolumeSectors $kFatStart $kNtfsStart $kFatTop $kFatSub"
    echo "$kAlbums $kEvents $kFilesPerFolder"
    declare -f MakeImage MakeFatVolume MakeNtfsVolume WipeSector
  } | sha256sum | cut -d' ' -f1)
  if [ -f "$image" ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$signature" ]; then
    return
  fi
  echo "Making $image..." >&2
  local started=$SECONDS volume=$work/advance-search.volume
  rm -f "$stamp" "$image" "$image.new"
  # Random-looking filler everywhere, so no sector is a hole.
  # (head ends the endless stream: that is no failure.)
  { openssl enc -aes-128-ctr -K 00112233445566778899aabbccddeeff -iv 0 -nosalt \
    </dev/zero 2>/dev/null || true; } | head -c $((kImageSectors * 512)) >"$image.new"
  MakeFatVolume "$volume"
  # Where the FAT32 volume's cluster 0 lies: its data start less two clusters.
  python3 - "$volume" "$kFatStart" >"$image.fat-cluster0" <<'PY'
import struct, sys
boot = open(sys.argv[1], "rb").read(512)
spc, reserved, fats = boot[13], struct.unpack_from("<H", boot, 14)[0], boot[16]
spf = struct.unpack_from("<I", boot, 36)[0]
print(int(sys.argv[2]) + reserved + fats * spf - 2 * spc)
PY
  dd if="$volume" of="$image.new" bs=512 seek="$kFatStart" conv=notrunc status=none
  MakeNtfsVolume "$volume"
  dd if="$volume" of="$image.new" bs=512 seek="$kNtfsStart" conv=notrunc status=none
  rm -f "$volume"
  # FAT32: the boot sector, its information sector and their backups at 6 and 7.
  for sector in 0 1 6 7; do
    WipeSector $((kFatStart + sector))
  done
  WipeSector "$kNtfsStart"
  WipeSector $((kNtfsStart + kVolumeSectors - 1))
  mv "$image.new" "$image"
  echo "$signature" >"$stamp"
  echo "Made the image in $((SECONDS - started)) s." >&2
}

# The seconds lumarest-cli's --timings line for a phase gives.
PhaseSeconds() {  # ERRLOG PHASE
  sed -n "s/^lumarest-cli: timing: $2 \([0-9.]*\) s.*/\1/p" "$1"
}

Faster() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }

# Runs one file system's search RUNS times and prints its phases from the fastest run.
Bench() {  # FS EXPECTED_CLUSTER0_OR_START
  local fs=$1 expected=$2 best="" bestTotal="" log total run
  for run in $(seq "$kRuns"); do
    log=$out/advance-$fs-$run
    "$cli" --image "$image" advance --fs "$fs" --volume 1 --timings --json >"$log.json" \
      2>"$log.err" || { echo "failed: advance --fs $fs (see $log.err)" >&2; exit 1; }
    total=$(awk '{ s += $1 } END { print s }' < <(
      PhaseSeconds "$log.err" "reading the range"
      PhaseSeconds "$log.err" "finding the volumes"))
    if [ -z "$bestTotal" ] || Faster "$total" "$bestTotal"; then
      best=$log bestTotal=$total
    fi
  done
  grep -q "\"cluster0Start\": $expected," "$best.json" ||
    { echo "advance --fs $fs did not find its volume at $expected (see $best.json)" >&2; exit 1; }
  local rate
  rate=$(sed -n 's/^lumarest-cli: timing: reading the range .*, \([0-9]*\) MB\/s.*/\1/p' "$best.err")
  printf '%-8s %10s %8s %12s %12s   %s\n' "$fs" "$(PhaseSeconds "$best.err" "reading the range")" \
    "$rate" "$(PhaseSeconds "$best.err" "finding the volumes")" \
    "$(PhaseSeconds "$best.err" "rebuilding the volume")" \
    "$(grep -m1 "folders and" "$best.err" | sed 's/^lumarest-cli: //')"
}

Need python3 "apt-get install python3"
Need mkfs.fat "apt-get install dosfstools"
Need mmd "apt-get install mtools"
Need mkntfs "apt-get install ntfs-3g"
Need ntfs-3g "apt-get install ntfs-3g"
Need openssl "apt-get install openssl"
MakeImage
FindCli

out=$work/out
mkdir -p "$out"
load=$(cut -d' ' -f1-3 /proc/loadavg)
cat "$image" >/dev/null

echo "Image: $image, $((kImageSectors / 2048)) MiB, no partition table; FAT32 (4 KiB clusters," \
  "$((kFatTop * (kFatSub + 1))) folders) at sector $kFatStart and NTFS (4 KiB clusters," \
  "$((kAlbums * (kEvents + 1))) folders, $((kAlbums * (kEvents + 1) * kFilesPerFolder)) files)" \
  "at sector $kNtfsStart, boot sectors and backups wiped"
echo "Machine: $(nproc) cores, $(uname -m), $(date -u +%Y-%m-%d); load average before: $load"
echo "Each figure is from the fastest of $kRuns runs (reading and finding), image in the page cache."
echo
printf '%-8s %10s %8s %12s %12s   %s\n' "Search" "Reading s" "MB/s" "Finding s" "Rebuild s" \
  "Rebuilt tree"
# An NTFS volume's cluster 0 is its first sector.
Bench FAT32 "$(cat "$image.fat-cluster0")"
Bench NTFS "$kNtfsStart"
