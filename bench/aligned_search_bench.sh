#!/usr/bin/env bash
# Times Lumarest's partition search over a sparse 1 TiB disk image whose volumes start on 1 MiB
# boundaries, as today's partitioning tools place them, and whose partition table is wiped:
# FAT32 at 1 MiB, NTFS in the middle (512 GiB), FAT16 100 MiB before the end. None lies on a
# cylinder's candidates, so only the 1 MiB pass finds them. Prints the whole command's time (the
# table walk, the cylinder pass, the 1 MiB pass and the listing), the reads it made and the reads
# per second, and fails unless all three are listed from the aligned search.
#
#   bench/aligned_search_bench.sh [WORK_FOLDER]
#
# WORK_FOLDER (default build/bench in the repository) holds the image while the benchmark runs;
# the image takes almost no space (it is sparse) and is deleted at the end. LUMAREST_CLI names
# the lumarest-cli to time; without it a Release build is made in WORK_FOLDER/cli-build. RUNS
# (default 3) is how often the search runs. Each run reads a freshly made image, so its holes are
# in no cache: the same as a cold cache for a sparse file, with no need to drop caches as root.
# The reads are counted with strace where it is installed. Needs sfdisk, mkfs.fat and mkntfs.
# Run by hand: no test runs this.
set -euo pipefail

readonly kRuns=${RUNS:-3}
readonly kMebibyte=2048
readonly kDiskSectors=$((1 << 31))
readonly kCylinder=16065
PATH=$PATH:/usr/sbin:/sbin

here=$(cd "$(dirname "$0")" && pwd)
source "$here/bench_lib.sh"
BenchWorkFolder "${1:-}"
image=$work/aligned-search-1t.img
trap 'rm -f "$image" "$work"/aligned-*.vol "$work"/aligned-strace.txt "$work"/aligned-listing.txt' EXIT

for tool in sfdisk mkfs.fat mkntfs bc; do
  command -v "$tool" >/dev/null || {
    echo "aligned_search_bench: missing tool: $tool" >&2
    exit 1
  }
done

cli=${LUMAREST_CLI:-}
if [[ -z $cli ]]; then
  cmake -S "$repo" -B "$work/cli-build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$work/cli-build" --target lumarest-cli >/dev/null
  cli=$work/cli-build/bin/lumarest-cli
fi

readonly fat32_start=$kMebibyte
readonly fat32_sectors=80000
readonly ntfs_start=$((kDiskSectors / 2))
readonly ntfs_sectors=81920
readonly fat16_start=$((kDiskSectors - 100 * kMebibyte))
readonly fat16_sectors=40000

# The volumes are made once; every run gets a fresh image around them.
mkfs.fat -C -F 32 -s 1 -S 512 -h "$fat32_start" "$work/aligned-fat32.vol" $((fat32_sectors / 2)) >/dev/null
truncate -s $((ntfs_sectors * 512)) "$work/aligned-ntfs.vol"
mkntfs -F -q -Q -s 512 -c 4096 -p "$ntfs_start" -H 255 -S 63 "$work/aligned-ntfs.vol" >/dev/null 2>&1
mkfs.fat -C -F 16 -s 4 -S 512 -h "$fat16_start" "$work/aligned-fat16.vol" $((fat16_sectors / 2)) >/dev/null

PlaceVolume() {  # VOLUME START
  dd if="$1" of="$image" bs=512 seek="$2" conv=notrunc,sparse status=none
}

# A table listing the three, then wiped: the search alone has to find them.
MakeImage() {
  rm -f "$image"
  truncate -s 1T "$image"
  sfdisk -q --no-reread --no-tell-kernel "$image" >/dev/null <<TABLE
label: dos
start=$fat32_start, size=$fat32_sectors, type=c
start=$ntfs_start, size=$ntfs_sectors, type=7
start=$fat16_start, size=$fat16_sectors, type=6
TABLE
  PlaceVolume "$work/aligned-fat32.vol" "$fat32_start"
  PlaceVolume "$work/aligned-ntfs.vol" "$ntfs_start"
  PlaceVolume "$work/aligned-fat16.vol" "$fat16_start"
  dd if=/dev/zero of="$image" bs=512 count=1 conv=notrunc status=none
  sync "$image"
}

best=
for ((run = 1; run <= kRuns; run++)); do
  MakeImage
  start=$(date +%s.%N)
  "$cli" --image "$image" partitions --search >"$work/aligned-listing.txt" 2>/dev/null
  end=$(date +%s.%N)
  seconds=$(echo "$end - $start" | bc -l)
  printf 'run %d (fresh image): %.2f s\n' "$run" "$seconds"
  if [[ -z $best ]] || (($(echo "$seconds < $best" | bc -l))); then
    best=$seconds
  fi
done
cat "$work/aligned-listing.txt"

missing=0
for start in "$fat32_start" "$ntfs_start" "$fat16_start"; do
  if ! grep -Eq "^[0-9]+ +(FAT16|FAT32|NTFS) +$start +[0-9]+ +aligned search" "$work/aligned-listing.txt"; then
    echo "not found from the aligned search: the volume at $start" >&2
    missing=1
  fi
done

if command -v strace >/dev/null; then
  MakeImage
  strace -f -c -e trace=pread64 -o "$work/aligned-strace.txt" \
    "$cli" --image "$image" partitions --search >/dev/null 2>&1
  reads=$(awk '$NF == "pread64" { print $4 }' "$work/aligned-strace.txt")
else
  # Up to two reads per cylinder, then one per 1 MiB boundary.
  reads=$((2 * (kDiskSectors / kCylinder + 1) + kDiskSectors / kMebibyte))
fi
printf 'fastest: %.2f s, %d reads, %.0f reads/s\n' "$best" "$reads" "$(echo "$reads / $best" | bc -l)"
exit "$missing"
