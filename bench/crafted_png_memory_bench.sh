#!/usr/bin/env bash
# Measures the peak memory and time of `lumarest-cli raw` over an image of twenty crafted PNG
# files, each 99 bytes on the disk with a text chunk whose length field claims 2 GB. A picture
# check that lets such a length size an allocation shows gigabytes here; a bounded one stays
# near the program's own size.
#
#   bench/crafted_png_memory_bench.sh [WORK_FOLDER]
#
# WORK_FOLDER (default build/bench in the repository) keeps the image (1.25 MiB). LUMAREST_CLI
# names the lumarest-cli to measure (default build/bin/lumarest-cli). Needs python3 and
# /usr/bin/time. Run by hand: no test runs this.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source "$here/bench_lib.sh"
BenchWorkFolder "${1:-}"
cli=${LUMAREST_CLI:-$repo/build/bin/lumarest-cli}
[ -x "$cli" ] || { echo "no lumarest-cli at $cli" >&2; exit 2; }
Need python3 "apt-get install python3"
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed: apt-get install time" >&2; exit 2; }

image=$work/crafted-png.img
python3 - "$image" <<'PY'
import struct, sys, zlib

def chunk(kind, data, length=None):
    length = len(data) if length is None else length
    return struct.pack('>I', length) + kind + data + struct.pack('>I', zlib.crc32(kind + data))

rows = b''.join(b'\x00' + b'\x80\x40\x20' * 8 for _ in range(8))
png = (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 8, 8, 8, 2, 0, 0, 0))
       + chunk(b'tEXt', b'Comment\x00hello', length=0x7FFFFFF0)
       + chunk(b'IDAT', zlib.compress(rows)) + chunk(b'IEND', b''))
spacing = 64 * 1024
image = bytearray(20 * spacing)
for i in range(20):
    image[i * spacing:i * spacing + len(png)] = png
open(sys.argv[1], 'wb').write(image)
PY

report=$work/crafted-png-time.txt
/usr/bin/time -v "$cli" raw --image "$image" >"$work/crafted-png-listing.txt" 2>"$report"
echo "files listed:  $(grep -c '^GNLM' "$work/crafted-png-listing.txt")"
grep -E 'Maximum resident set size|Elapsed \(wall clock\)' "$report" | sed 's/^\s*//'
