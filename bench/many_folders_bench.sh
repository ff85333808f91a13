#!/usr/bin/env bash
# Measures the memory and time of Lumarest's Standard search and listing on a crafted FAT32
# volume whose every cluster looks like a lost folder: at 256 MiB with 512-byte clusters,
# some 516 000 folders holding 7.2 million files. Each run's peak resident memory and wall
# clock, for the text listing and for --json.
#
#   bench/many_folders_bench.sh [WORK_FOLDER]
#
# WORK_FOLDER (default build/bench in the repository) keeps the image and every run's output;
# the image is made once and reused while the way it is made stays the same. LUMAREST_CLI
# names the lumarest-cli to measure; without it a Release build is made in
# WORK_FOLDER/cli-build. LUMAREST_CLI_BEFORE, when set, names a second one (an older build)
# measured the same way before it. VOLUME_MIB (default 256, at least 33 for FAT32) sizes
# the volume.
# Run by hand on a quiet machine with memory to spare: no test runs this.
set -euo pipefail

readonly kVolumeMib=${VOLUME_MIB:-256}
readonly kPartitionStart=2048

here=$(cd "$(dirname "$0")" && pwd)
source "$here/bench_lib.sh"
BenchWorkFolder "${1:-}"
image=$work/many-folders-$kVolumeMib.img
stamp=$image.stamp
PATH=$PATH:/usr/sbin:/sbin


MakeImage() {
  local signature
  signature=$({
    cat "$here/many_folders_volume.py"
    echo "$kVolumeMib $kPartitionStart"
    declare -f MakeImage
  } | sha256sum | cut -d' ' -f1)
  if [ -f "$image" ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$signature" ]; then
    return
  fi
  echo "Making $image..." >&2
  rm -f "$stamp" "$image"
  # The partition is the whole volume; a megabyte before it for the partition table.
  truncate -s $(((kVolumeMib + 1) * 1024 * 1024)) "$image"
  sfdisk -q --no-reread --no-tell-kernel "$image" <<<"label: dos
$kPartitionStart,,c" >/dev/null
  # 512-byte clusters: the most clusters, so the most folders, a volume of this size can have.
  mkfs.fat --invariant -F 32 -s 1 -S 512 --offset "$kPartitionStart" -h "$kPartitionStart" \
    -n MANYFOLDERS "$image" >/dev/null
  python3 "$here/many_folders_volume.py" "$image" $((kPartitionStart * 512)) >/dev/null
  echo "$signature" >"$stamp"
}

FindCli() {
  if [ -n "${LUMAREST_CLI:-}" ]; then
    cli=$LUMAREST_CLI
  else
    cli=$work/cli-build/bin/lumarest-cli
    echo "Building lumarest-cli (Release) in $work/cli-build..." >&2
    cmake -S "$repo" -B "$work/cli-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DLUMAREST_TESTS=OFF >/dev/null
    cmake --build "$work/cli-build" --target lumarest-cli -j2 >/dev/null
  fi
  [ -x "$cli" ] || { echo "no lumarest-cli at $cli" >&2; exit 2; }
  if [ -n "${LUMAREST_CLI_BEFORE:-}" ] && [ ! -x "$LUMAREST_CLI_BEFORE" ]; then
    echo "no lumarest-cli at $LUMAREST_CLI_BEFORE" >&2
    exit 2
  fi
}

# Row LABEL CLI LOG [--json]: runs the listing with its stdout in LOG and prints the label,
# wall-clock seconds, peak resident megabytes, the bytes written and the rows the command
# counted.
Row() {
  local label=$1 tool=$2 log=$3
  shift 3
  /usr/bin/time -o "$log.time" -f "%e %M" "$tool" "$@" --image "$image" standard \
    --partition 1 --timings >"$log" 2>"$log.err" ||
    { echo "failed: $tool $* (see $log.err)" >&2; exit 1; }
  local rows
  rows=$(sed -n 's/^lumarest-cli: \([0-9]*\) folders and \([0-9]*\) files.*/\1 + \2/p' "$log.err")
  awk -v l="$label" -v b="$(stat -c %s "$log")" -v r="$rows" \
    '{ printf "%-36s %8.1f %9.0f %10.0f  %s\n", l, $1, $2 / 1024, b / 1e6, r }' "$log.time"
  rm -f "$log"
}

Need python3 "apt-get install python3"
Need mkfs.fat "apt-get install dosfstools"
Need sfdisk "apt-get install fdisk"
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed: apt-get install time" >&2; exit 2; }
MakeImage
FindCli

out=$work/out
mkdir -p "$out"
load=$(cut -d' ' -f1-3 /proc/loadavg)
cat "$image" >/dev/null

echo "Image: $image, a ${kVolumeMib} MiB FAT32 volume of 512-byte clusters, every one a folder"
echo "Machine: $(nproc) cores, $(uname -m), $(free -g | awk '/^Mem/ { print $2 }') GB," \
  "$(date -u +%Y-%m-%d)"
echo "Load average before the runs: $load"
echo
printf '%-36s %8s %9s %10s  %s\n' "Run" "Seconds" "Peak MB" "Output MB" "Folders + files"
if [ -n "${LUMAREST_CLI_BEFORE:-}" ]; then
  Row "before: standard (text)" "$LUMAREST_CLI_BEFORE" "$out/many-before-text"
  Row "before: standard --json" "$LUMAREST_CLI_BEFORE" "$out/many-before-json" --json
fi
Row "standard (text)" "$cli" "$out/many-text"
Row "standard --json" "$cli" "$out/many-json" --json
echo
echo "Seconds: wall clock of the whole command; Peak MB: its maximum resident set size"
echo "(/usr/bin/time); Output MB: what it wrote on stdout (not kept). The phases are in"
echo "$out/many-*.err (--timings)."
