# Sourced by the image builders that fill NTFS volumes through the ntfs-3g FUSE mount, after
# StartImages: a mount folder in WORK, Mount and Unmount, and a clean-up on exit that unmounts
# and removes WORK whatever happened. Mount exits with 77 when FUSE does not work here.
MNT=$WORK/mnt
PID=""
Cleanup() {
    if mountpoint -q "$MNT" 2>/dev/null; then
        fusermount3 -u "$MNT" 2>/dev/null || fusermount -u "$MNT" 2>/dev/null || umount "$MNT"
    fi
    [[ -z $PID ]] || wait "$PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap Cleanup EXIT
mkdir "$MNT"

Mount() {  # VOLUME
    ntfs-3g -o no_detach "$1" "$MNT" 2>/dev/null &
    PID=$!
    for _ in $(seq 50); do
        mountpoint -q "$MNT" && return 0
        kill -0 "$PID" 2>/dev/null || exit 77
        sleep 0.1
    done
    exit 77
}

Unmount() {
    sync
    fusermount3 -u "$MNT" 2>/dev/null || fusermount -u "$MNT" 2>/dev/null || umount "$MNT"
    wait "$PID"
    PID=""
}
