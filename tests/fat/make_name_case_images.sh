#!/usr/bin/env bash
# Builds a FAT16 and a FAT32 volume (f16.img, f32.img) into OUTDIR whose short-only names are
# kept in lower case through the entry's case bits, as mtools, Linux and Windows write them,
# and whose folders also carry the deleted entries Windows leaves when "New Folder" is renamed:
#
#   /notes.txt /README.txt /photo.JPG     case bits set by mcopy
#   /hand.TXT                             HAND.TXT with its case byte set by hand
#   /erased.txt                           deleted
#   /Mixed                                a long name
#   /gone                                 a deleted empty folder
#   /dir1 /dir2 /dir1/sub1 /dir1/sub2     each beside a deleted "New Folder" long name and short
#                                         entry with its first cluster: before the live entry
#                                         for dir1 and sub1, after it for dir2 and sub2
#   /dir1/inner.txt
#
#   make_name_case_images.sh OUTDIR
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/../support/image_script.sh"
StartImages make_name_case_images "${1:-}" mkfs.fat mmd mrd mcopy mdel perl

# Turns the two empty placeholder entries FIRST and the one after it into the deleted long
# name "New Folder" and its deleted short entry, pointing at the first cluster of folder LIVE.
LeaveOldName() {  # IMAGE FIRST LIVE
    perl -e '
        my ($path, $first, $live) = @ARGV;
        open(my $fh, "+<:raw", $path) or die "$path: $!";
        local $/;
        my $d = <$fh>;
        sub Slot {
            my $name = pack("A11", shift);
            for (my $at = index($d, $name); $at >= 0; $at = index($d, $name, $at + 1)) {
                return $at if $at % 32 == 0 && ord(substr($d, $at + 11, 1)) != 0x0F;
            }
            die "no entry $name\n";
        }
        my $liveAt = Slot($live);
        my $placeAt = Slot($first);
        my $short = "NEWFOL~1   ";
        my $sum = 0;
        $sum = ((($sum & 1) << 7) + ($sum >> 1) + ord($_)) & 0xFF for split //, $short;
        my @units = (map(ord, split //, "New Folder"), 0, 0xFFFF, 0xFFFF);
        my $lfn = "\xE5" . pack("v5", @units[0 .. 4]) . "\x0F\x00" . chr($sum) .
                  pack("v6", @units[5 .. 10]) . "\x00\x00" . pack("v2", @units[11 .. 12]);
        my $entry = "\xE5" . substr($short, 1) . "\x10\x00" . substr($d, $liveAt + 13, 19);
        substr($d, $placeAt, 64) = $lfn . $entry;
        seek($fh, 0, 0);
        print $fh $d;
        close($fh);
    ' "$@"
}

# Sets the case byte of the short entry NAME.
SetCaseByte() {  # IMAGE NAME BITS
    perl -e '
        my ($path, $name, $bits) = @ARGV;
        open(my $fh, "+<:raw", $path) or die "$path: $!";
        local $/;
        my $d = <$fh>;
        my $at = index($d, pack("A11", $name));
        $at = index($d, pack("A11", $name), $at + 1) while $at >= 0 && $at % 32 != 0;
        die "no entry $name\n" if $at < 0;
        seek($fh, $at + 12, 0);
        print $fh chr($bits);
        close($fh);
    ' "$@"
}

Volume() {  # NAME SECTORS FATBITS
    local v=$WORK/$1.img
    mkfs.fat --invariant -C -F "$3" -s 1 -S 512 "$v" $(($2 / 2)) >/dev/null
    : >"$WORK/empty"
    printf 'text\n' >"$WORK/text"
    mcopy -i "$v" "$WORK/empty" ::/nfa1
    mcopy -i "$v" "$WORK/empty" ::/nfa2
    mmd -i "$v" ::/dir1 ::/dir2
    mcopy -i "$v" "$WORK/empty" ::/nfb1
    mcopy -i "$v" "$WORK/empty" ::/nfb2
    mmd -i "$v" ::/Mixed
    mcopy -i "$v" "$WORK/empty" ::/dir1/nfc1
    mcopy -i "$v" "$WORK/empty" ::/dir1/nfc2
    mmd -i "$v" ::/dir1/sub1 ::/dir1/sub2
    mcopy -i "$v" "$WORK/empty" ::/dir1/nfd1
    mcopy -i "$v" "$WORK/empty" ::/dir1/nfd2
    mcopy -i "$v" "$WORK/text" ::/dir1/inner.txt
    for name in notes.txt README.txt photo.JPG HAND.TXT erased.txt; do
        mcopy -i "$v" "$WORK/text" "::/$name"
    done
    # Last, so that no later entry or folder takes their slots or clusters.
    mmd -i "$v" ::/gone
    mrd -i "$v" ::/gone
    mdel -i "$v" ::/erased.txt
    LeaveOldName "$v" NFA1 DIR1
    LeaveOldName "$v" NFB1 DIR2
    LeaveOldName "$v" NFC1 SUB1
    LeaveOldName "$v" NFD1 SUB2
    SetCaseByte "$v" "HAND    TXT" 8
    mv "$v" "$OUTDIR/$1.img"
}

Volume f16 32768 16
Volume f32 81920 32
FinishImages
