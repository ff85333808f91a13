#!/usr/bin/env bash
# Times Lumarest's partition search over a sparse 1 TiB disk image (255 heads of 63 sectors:
# 133 674 cylinders) with no partition table and three volumes at cylinder boundaries: FAT32
# one track into cylinder 1, NTFS at the first sector of the middle cylinder, FAT16 one track
# into a cylinder near the end. Prints the whole command's time (the table walk, the search
# and the listing), the reads it made and the reads per second.
#
#   bench/partition_search_bench.sh [WORK_FOLDER]
#
# WORK_FOLDER (default build/bench in the repository) holds the image while the benchmark runs;
# the image takes almost no space (it is sparse) and is deleted at the end. LUMAREST_CLI names
# the lumarest-cli to time; without it a Release build is made in WORK_FOLDER/cli-build. RUNS
# (default 3) is how often the search runs; each run starts from a cold cache when this user
# may drop the page cache (root), and the fastest run counts. The reads are counted with strace
# where it is installed. Needs mkfs.fat and mkntfs. Run by hand: no test runs this.
set -euo pipefail

readonly kRuns=${RUNS:-3}
readonly kCylinder=16065
readonly kTrack=63
readonly kCylinders=133674
readonly kMiddle=$((kCylinders / 2))
readonly kNearEnd=$((kCylinders - 4))
PATH=$PATH:/usr/sbin:/sbin

here=$(cd "$(dirname "$0")" && pwd)
source "$here/bench_lib.sh"
BenchWorkFolder "${1:-}"
image=$work/partition-search-1t.img
trap 'rm -f "$image" "$work"/search-*.vol "$work"/search-strace.txt "$work"/search-listing.txt' EXIT

cli=${LUMAREST_CLI:-}
if [[ -z $cli ]]; then
  cmake -S "$repo" -B "$work/cli-build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$work/cli-build" --target lumarest-cli >/dev/null
  cli=$work/cli-build/bin/lumarest-cli
fi

# Volumes made by the real tools, written into the sparse image where the search looks.
PlaceVolume() {  # VOLUME START
  dd if="$1" of="$image" bs=512 seek="$2" conv=notrunc,sparse status=none
}
rm -f "$image"
truncate -s 1T "$image"
fat32_start=$((1 * kCylinder + kTrack))
ntfs_start=$((kMiddle * kCylinder))
fat16_start=$((kNearEnd * kCylinder + kTrack))
mkfs.fat -C -F 32 -s 1 -S 512 -h "$fat32_start" "$work/search-fat32.vol" 40000 >/dev/null
PlaceVolume "$work/search-fat32.vol" "$fat32_start"
truncate -s 40M "$work/search-ntfs.vol"
mkntfs -F -q -Q -s 512 -c 4096 -p "$ntfs_start" -H 255 -S 63 "$work/search-ntfs.vol" >/dev/null 2>&1
PlaceVolume "$work/search-ntfs.vol" "$ntfs_start"
mkfs.fat -C -F 16 -s 4 -S 512 -h "$fat16_start" "$work/search-fat16.vol" 20000 >/dev/null
PlaceVolume "$work/search-fat16.vol" "$fat16_start"

DropCaches() {
  sync
  if [[ -w /proc/sys/vm/drop_caches ]]; then
    echo 3 >/proc/sys/vm/drop_caches
    echo cold
  else
    echo warm
  fi
}

best=
for ((run = 1; run <= kRuns; run++)); do
  cache=$(DropCaches)
  start=$(date +%s.%N)
  "$cli" --image "$image" partitions --search >"$work/search-listing.txt" 2>/dev/null
  end=$(date +%s.%N)
  seconds=$(echo "$end - $start" | bc -l)
  printf 'run %d (%s cache): %.2f s\n' "$run" "$cache" "$seconds"
  if [[ -z $best ]] || (($(echo "$seconds < $best" | bc -l))); then
    best=$seconds
  fi
done
cat "$work/search-listing.txt"

if command -v strace >/dev/null; then
  strace -f -c -e trace=pread64 -o "$work/search-strace.txt" \
    "$cli" --image "$image" partitions --search >/dev/null 2>&1
  reads=$(awk '$NF == "pread64" { print $4 }' "$work/search-strace.txt")
else
  # One read one track into each cylinder, one more at its first sector where that has none,
  # then one per 1 MiB boundary.
  reads=$((2 * kCylinders - 2 + kCylinders * kCylinder / 2048))
fi
printf 'fastest: %.2f s, %d reads, %.0f reads/s\n' "$best" "$reads" "$(echo "$reads / $best" | bc -l)"
