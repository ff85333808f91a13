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
