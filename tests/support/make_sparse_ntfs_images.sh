#!/usr/bin/env bash
# Builds MBR disks, each with one 16 MiB NTFS volume (4096-byte clusters) at sector 2048, into
# OUTDIR. Each holds Docs/sparse.bin: one cluster of "A", a hole, one cluster of "B", first
# written through the ntfs-3g FUSE mount, then its $DATA runs rewritten in the record so that
# the hole is a sparse run of
#
#   sparse24.img  2^24 clusters (the file claims 64 GiB and 8 KiB)
#   sparse30.img  2^30 clusters (4 TiB and 8 KiB)
#
# No tool writes such a file on so small a volume. Exit status 77 when FUSE does not work here.
# Images are rebuilt only when this script changed.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/image_script.sh"
[[ -c /dev/fuse ]] || exit 77
StartImages make_sparse_ntfs_images "${1:-}" sfdisk mkntfs ntfs-3g mountpoint python3
. "$(dirname "${BASH_SOURCE[0]}")/fuse_mount.sh"

# Rewrites the runs of the file record named sparse.bin: its real runs stay, with a sparse run
# of HOLE clusters after the first; its sizes grow to match.
SetHole() {  # VOLUME HOLE
    python3 - "$1" "$2" <<'PY'
import struct, sys

path, hole = sys.argv[1], int(sys.argv[2])
data = bytearray(open(path, "rb").read())
CLUSTER, SECTOR = 4096, 512

def fixup(rec, restore):
    usa, count = struct.unpack_from("<HH", rec, 4)
    for i in range(1, count):
        end = i * SECTOR - 2
        if restore:
            rec[end:end + 2] = rec[usa + 2 * i:usa + 2 * i + 2]
        else:
            rec[usa + 2 * i:usa + 2 * i + 2] = rec[end:end + 2]
            rec[end:end + 2] = rec[usa:usa + 2]

def attributes(rec):
    off = struct.unpack_from("<H", rec, 20)[0]
    while off + 8 <= len(rec):
        kind, length = struct.unpack_from("<II", rec, off)
        if kind == 0xFFFFFFFF or length == 0:
            return
        yield off, kind, length
        off += length

def runs(rec, off):
    pos = off + struct.unpack_from("<H", rec, off + 32)[0]
    lcn, out = 0, []
    while rec[pos]:
        lsize, osize = rec[pos] & 15, rec[pos] >> 4
        count = int.from_bytes(rec[pos + 1:pos + 1 + lsize], "little")
        if osize:
            lcn += int.from_bytes(rec[pos + 1 + lsize:pos + 1 + lsize + osize], "little", signed=True)
            out.append((count, lcn))
        pos += 1 + lsize + osize
    return out

def encode(real, hole):
    out, prev = bytearray(), 0
    def signed(v):
        n = 1
        while not -(1 << (8 * n - 1)) <= v < (1 << (8 * n - 1)):
            n += 1
        return v.to_bytes(n, "little", signed=True)
    for i, (count, lcn) in enumerate(real):
        c, o = signed(count), signed(lcn - prev)
        out += bytes([len(o) << 4 | len(c)]) + c + o
        prev = lcn
        if i == 0:
            h = signed(hole)
            out += bytes([len(h)]) + h
    return out + b"\0"

for start in range(0, len(data) - 1024, 1024):
    if data[start:start + 4] != b"FILE":
        continue
    rec = bytearray(data[start:start + 1024])
    fixup(rec, True)
    found = [a for a in attributes(rec) if a[1] == 0x30 and
             rec[a[0] + struct.unpack_from("<H", rec, a[0] + 20)[0] + 66:][:20].decode("utf-16-le", "replace") == "sparse.bin"]
    data_attr = [a for a in attributes(rec) if a[1] == 0x80 and rec[a[0] + 8] == 1]
    if not found or not data_attr:
        continue
    off, _, length = data_attr[0]
    real = runs(rec, off)
    clusters = sum(c for c, _ in real) + hole
    run_bytes = encode(real, hole)
    head = bytearray(rec[off:off + struct.unpack_from("<H", rec, off + 32)[0]])
    struct.pack_into("<Q", head, 24, clusters - 1)
    struct.pack_into("<QQQ", head, 40, clusters * CLUSTER, clusters * CLUSTER, clusters * CLUSTER)
    attr = head + run_bytes
    attr += b"\0" * (-len(attr) % 8)
    struct.pack_into("<I", attr, 4, len(attr))
    rec[off:off + length] = attr
    used = struct.unpack_from("<I", rec, 24)[0] + len(attr) - length
    assert used <= 1024 - 8, "record full"
    struct.pack_into("<I", rec, 24, used)
    rec[:] = rec[:1024]
    rec += b"\0" * (1024 - len(rec))
    fixup(rec, False)
    data[start:start + 1024] = rec
    open(path, "wb").write(data)
    sys.exit(0)
sys.exit("sparse.bin not found")
PY
}

SparseDisk() {  # NAME HOLE
    local v=$WORK/$1.vol disk=$WORK/$1.img bytes
    truncate -s 16M "$v"
    mkntfs -F -q -Q -s 512 -c 4096 -p 2048 -H 255 -S 63 -L "$1" "$v" >/dev/null 2>&1
    Mount "$v"
    mkdir -p "$MNT/Docs"
    head -c 4096 /dev/zero | tr '\0' 'A' >"$MNT/Docs/sparse.bin"
    head -c 4096 /dev/zero | tr '\0' 'B' |
        dd of="$MNT/Docs/sparse.bin" bs=4096 seek=16 conv=notrunc status=none
    Unmount
    SetHole "$v" "$2"
    bytes=$(stat -c %s "$v")
    truncate -s $((2048 * 512 + bytes)) "$disk"
    sfdisk -q --no-reread --no-tell-kernel "$disk" <<<"label: dos
start=2048, size=$((bytes / 512)), type=7" >/dev/null
    dd if="$v" of="$disk" bs=512 seek=2048 conv=notrunc,sparse status=none
    mv "$disk" "$OUTDIR/$1.img"
}

SparseDisk sparse24 $((1 << 24))
SparseDisk sparse30 $((1 << 30))

FinishImages
