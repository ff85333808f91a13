# shellcheck shell=bash
# Sourced by the image builders that fill volumes through a FUSE driver (ntfs-3g, exfat-fuse),
# after StartImages: a mount folder in WORK, Mount (NTFS), MountExFat and Unmount, and a
# clean-up on exit that unmounts, lets go of the loop device and removes WORK whatever
# happened. Mounting exits with 77 when FUSE does not work here.
MNT=$WORK/mnt
PID=""
LOOP=""
Cleanup() {
    if mountpoint -q "$MNT" 2>/dev/null; then
        fusermount3 -u "$MNT" 2>/dev/null || fusermount -u "$MNT" 2>/dev/null || umount "$MNT"
    fi
    [[ -z $PID ]] || wait "$PID" 2>/dev/null || true
    [[ -z $LOOP ]] || losetup -d "$LOOP" 2>/dev/null || true
    rm -rf "$WORK"
}
trap Cleanup EXIT
mkdir "$MNT"

# Waits for the driver started as PID to show the volume on MNT.
AwaitMount() {
    for _ in $(seq 100); do
        mountpoint -q "$MNT" && return 0
        kill -0 "$PID" 2>/dev/null || exit 77
        sleep 0.1
    done
    exit 77
}

Mount() {  # VOLUME
    ntfs-3g -o no_detach "$1" "$MNT" 2>/dev/null &
    PID=$!
    AwaitMount
}

# Puts VOLUME on a loop device, LOOP: its SIZE bytes from OFFSET when it lies inside a disk
# image.
AttachLoop() {  # VOLUME [OFFSET SIZE]
    local place=()
    [[ -z ${2:-} ]] || place=(-o "$2" --sizelimit "$3")
    LOOP=$(losetup -f --show "${place[@]}" "$1" 2>/dev/null) || exit 77
}

# Run as root, the exFAT driver takes block devices only: the volume is mounted through a loop
# device (the one AttachLoop gave when no VOLUME is named). -d keeps the driver in the
# foreground, so Unmount can wait for its last write.
MountExFat() {  # [VOLUME [OFFSET SIZE]]
    [[ -z ${1:-} ]] || AttachLoop "$@"
    mount.exfat-fuse -d "$LOOP" "$MNT" >/dev/null 2>&1 &
    PID=$!
    AwaitMount
}

Unmount() {
    sync
    fusermount3 -u "$MNT" 2>/dev/null || fusermount -u "$MNT" 2>/dev/null || umount "$MNT"
    wait "$PID"
    PID=""
    if [[ -n $LOOP ]]; then
        losetup -d "$LOOP"
        LOOP=""
    fi
}
