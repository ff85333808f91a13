# Shared by the benchmark scripts: sourced, never run.

# The work folder from the script's first argument (default build/bench in the repository),
# made if missing; a folder among the sources is refused. Sets `repo` and `work`.
BenchWorkFolder() {  # [WORK_FOLDER]
  repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  work=$(realpath -m "${1:-$repo/build/bench}")
  case "$work/" in
    "$repo/build"*) ;;
    "$repo/"*)
      echo "keep WORK_FOLDER out of the sources: $work" >&2
      exit 2
      ;;
  esac
  mkdir -p "$work"
}

Need() {  # COMMAND HOW-TO-INSTALL
  command -v "$1" >/dev/null || { echo "$1 is needed: $2" >&2; exit 2; }
}

# Cold-cache runs of the raw search benchmarks; they read $image and $kRuns of the script.

# Drops the image from the page cache, so every run reads it from the disk as a search would.
Evict() {
  sync
  python3 -c 'import os, sys
fd = os.open(sys.argv[1], os.O_RDONLY)
os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)' "$image"
}

# Runs a command with its output in the tool's log, from a cold cache, and prints the
# wall-clock seconds, the processor seconds (user and system) and the largest resident memory
# in MB. Processor time shows the work done even when other work stretches the wall clock.
Timed() {
  local log=$1
  shift
  Evict
  /usr/bin/time -o "$log.time" -f "%e %U %S %M" "$@" >"$log" 2>&1 ||
    { echo "failed: $* (see $log)" >&2; exit 1; }
  awk '{ printf "%.2f %.2f %.0f\n", $1, $2 + $3, $4 / 1024 }' "$log.time"
}

# An empty place for a tool's output, with the writes of the tool before it flushed, so no run
# pays for another's dirty pages.
Fresh() {
  rm -rf "$1"
  mkdir -p "$1"
  sync
}

# The least wall-clock and processor time of kRuns runs (on a shared machine the others only
# add what other work took) and the largest memory of any.
Best() {
  local wall="" cpu="" rss=0 times
  for _ in $(seq "$kRuns"); do
    times=$("$@")
    read -r w c r <<<"$times"
    wall=$(awk -v a="$wall" -v b="$w" 'BEGIN { print (a == "" || b < a) ? b : a }')
    cpu=$(awk -v a="$cpu" -v b="$c" 'BEGIN { print (a == "" || b < a) ? b : a }')
    rss=$((r > rss ? r : rss))
  done
  echo "$wall $cpu $rss"
}

# The lumarest-cli to time, in $cli: LUMAREST_CLI, or a Release build made in $work/cli-build.
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
}
