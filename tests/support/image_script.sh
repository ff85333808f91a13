# shellcheck shell=bash
# Sourced by the scripts that make test images at test time.

# Whether every TOOL can be run, the system folders searched too.
Installed() {  # TOOL...
    local tool
    for tool in "$@"; do
        PATH=$PATH:/usr/sbin:/sbin command -v "$tool" >/dev/null || return 1
    done
}

# Whether a FUSE driver can mount here: the device is there and so are the driver's TOOLs.
FuseInstalled() {  # TOOL...
    [[ -c /dev/fuse ]] && Installed mountpoint "$@"
}

# Leaves the calling script, naming the first TOOL that cannot be run.
NeedTools() {  # NAME TOOL...
    local name=$1 tool
    shift
    for tool in "$@"; do
        Installed "$tool" || {
            echo "$name: missing tool: $tool (run scripts/setup)" >&2
            exit 1
        }
    done
}

# Checks the tools, takes OUTDIR's lock and leaves the calling script at once when its images
# were made by this very script already. Sets OUTDIR (absolute) and WORK (removed on exit).
# IMAGES_STAMP names the stamp when several scripts share OUTDIR (default .stamp).
StartImages() {  # NAME OUTDIR TOOL...
    local name=$1
    if [[ -z ${2:-} ]]; then
        echo "usage: $name OUTDIR" >&2
        exit 2
    fi
    mkdir -p "$2"
    OUTDIR=$(cd "$2" && pwd)
    export LC_ALL=C MTOOLS_SKIP_CHECK=1
    PATH=$PATH:/usr/sbin:/sbin
    shift 2
    NeedTools "$name" "$@" flock sha256sum
    exec 9>"$OUTDIR/.lock"
    flock 9
    IMAGES_HASH=$(cat "${BASH_SOURCE[1]}" "${BASH_SOURCE[0]}" | sha256sum | cut -c1-16)
    IMAGES_STAMP_FILE=$OUTDIR/${IMAGES_STAMP:-.stamp}
    if [[ -f $IMAGES_STAMP_FILE && $(cat "$IMAGES_STAMP_FILE") == "$IMAGES_HASH" ]]; then
        exit 0
    fi
    WORK=$(mktemp -d "$OUTDIR/.work.XXXXXX")
    trap 'rm -rf "$WORK"' EXIT
}

# Marks OUTDIR's images as made by the calling script.
FinishImages() {
    echo "$IMAGES_HASH" >"$IMAGES_STAMP_FILE"
}
