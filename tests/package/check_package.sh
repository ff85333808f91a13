#!/usr/bin/env bash
# Checks Lumarest as a user gets it: installed under a staging folder (DESTDIR, prefix /usr)
# and as a Debian package. One concern per call:
#
#   check_package.sh install         stage an install; exactly the expected files, in place
#   check_package.sh installed_cli   the staged lumarest-cli, run from elsewhere, finds its data
#   check_package.sh desktop_files   the desktop entry and the AppStream file validate
#   check_package.sh manual          the manual page is clean roff and names every command and option
#   check_package.sh deb             cpack makes a .deb holding the same files, with dependencies
#
# Paths and tools come from the environment CTest sets (see CMakeLists.txt beside this file).
set -euo pipefail
export LC_ALL=C

readonly MODE=$1
readonly BUILD=$LUMAREST_BUILD_DIR
readonly WORK=$LUMAREST_WORK_DIR
readonly STAGE=$WORK/stage
readonly APP_ID=org.lumarest.Lumarest

# Every file an install puts in place, below the prefix; nothing else may be installed.
Expected() {
    local data
    echo bin/lumarest
    echo bin/lumarest-cli
    for data in "$LUMAREST_SOURCE_DIR"/data/*.dll "$LUMAREST_SOURCE_DIR"/data/*.html; do
        echo "share/lumarest/$(basename "$data")"
    done
    echo "share/applications/$APP_ID.desktop"
    echo "share/metainfo/$APP_ID.metainfo.xml"
    echo share/icons/hicolor/scalable/apps/lumarest.svg
    echo share/man/man1/lumarest-cli.1
}

Fail() {
    printf 'check_package %s: %s\n' "$MODE" "$*" >&2
    exit 1
}

# Fails naming the differences when the two sorted lists (files) differ.
SameFiles() {  # WHAT EXPECTED_FILE FOUND_FILE
    local differences
    if ! differences=$(diff "$2" "$3"); then
        Fail "$1 differ from what is expected (< expected, > found):"$'\n'"$differences"
    fi
}

Install() {
    rm -rf "$STAGE"
    DESTDIR=$STAGE "$CMAKE" --install "$BUILD" --prefix /usr >"$WORK/install.log" ||
        Fail "cmake --install failed: $(cat "$WORK/install.log")"
    Expected | sort >"$WORK/expected"
    (cd "$STAGE/usr" && find . ! -type d -printf '%P\n' | sort) >"$WORK/installed"
    SameFiles "the installed files" "$WORK/expected" "$WORK/installed"
    local program
    for program in lumarest lumarest-cli; do
        [[ -x $STAGE/usr/bin/$program ]] || Fail "bin/$program is not executable"
    done
}

InstalledCli() {
    local cli=$STAGE/usr/bin/lumarest-cli elsewhere=$WORK/elsewhere output
    rm -rf "$elsewhere"
    mkdir -p "$elsewhere"
    cd "$elsewhere"

    output=$("$cli" --version) || Fail "--version failed"
    [[ $output == "lumarest-cli $LUMAREST_VERSION" ]] ||
        Fail "--version printed '$output', not 'lumarest-cli $LUMAREST_VERSION'"

    output=$("$cli" partitions --image "$LUMAREST_FIXTURE_DIR/demo.img") ||
        Fail "partitions on the demo image failed: $output"
    local fs
    for fs in FAT32 FAT16 NTFS; do
        grep -q "$fs" <<<"$output" || Fail "partitions lists no $fs partition:"$'\n'"$output"
    done

    # A raw search reads the signature files; the installed bin folder holds none, so they
    # come from share/lumarest or not at all.
    convert -size 64x48 gradient:blue-yellow picture.jpg
    truncate -s 1M tiny.img
    dd if=picture.jpg of=tiny.img bs=512 seek=16 conv=notrunc status=none
    output=$("$cli" raw --image tiny.img 2>&1) || Fail "raw on a small image failed: $output"
    grep -Eq 'GNLM00001\.jpg.*complete' <<<"$output" ||
        Fail "raw did not find the JPEG whole:"$'\n'"$output"
}

DesktopFiles() {
    local share=$STAGE/usr/share output
    output=$(desktop-file-validate "$share/applications/$APP_ID.desktop" 2>&1) ||
        Fail "desktop-file-validate: $output"
    output=$(appstreamcli validate --no-net "$share/metainfo/$APP_ID.metainfo.xml" 2>&1) ||
        Fail "appstreamcli validate: $output"
    # The entry starts the installed window under the installed icon's name.
    grep -qx 'Exec=lumarest' "$share/applications/$APP_ID.desktop" || Fail "Exec is not lumarest"
    grep -qx 'Icon=lumarest' "$share/applications/$APP_ID.desktop" || Fail "Icon is not lumarest"
}

# The commands and long options a help text lists, one a line.
HelpWords() {  # HELP_TEXT
    grep -oE -- '--[a-z][a-z-]+' <<<"$1" || true
}

Manual() {
    local page=$STAGE/usr/share/man/man1/lumarest-cli.1 cli=$STAGE/usr/bin/lumarest-cli
    local warnings help command word
    warnings=$(groff -t -man -ww -z -Tutf8 "$page" 2>&1) || Fail "groff failed: $warnings"
    [[ -z $warnings ]] || Fail "groff warns:"$'\n'"$warnings"
    # The roff source writes a hyphen in an option as \-.
    local text
    text=$(sed 's/\\-/-/g' "$page")
    help=$("$cli" --help)
    local commands
    commands=$(awk '/^Subcommands:/ { listing = 1; next } listing && /^ +[a-z]/ { print $1 }' <<<"$help")
    [[ -n $commands ]] || Fail "no commands found in lumarest-cli --help:"$'\n'"$help"
    for command in $commands; do
        grep -q "^\.B $command\$" <<<"$text" || Fail "the manual does not describe '$command'"
        for word in $(HelpWords "$("$cli" "$command" --help)"); do
            grep -qF -- "$word" <<<"$text" ||
                Fail "the manual does not name $command's option $word"
        done
    done
    for word in $(HelpWords "$help"); do
        grep -qF -- "$word" <<<"$text" || Fail "the manual does not name the option $word"
    done
}

Deb() {
    local out=$WORK/deb package
    rm -rf "$out"
    # zstd packs a Debug build about twice as fast as the default gzip; the contents are the same.
    "$CPACK" --config "$BUILD/CPackConfig.cmake" -G DEB -B "$out" -D CPACK_DEBIAN_COMPRESSION_TYPE=zstd \
        >"$WORK/cpack.log" 2>&1 ||
        Fail "cpack failed: $(cat "$WORK/cpack.log")"
    package=$(find "$out" -maxdepth 1 -name '*.deb')
    [[ -n $package && $(wc -l <<<"$package") == 1 ]] || Fail "expected one .deb in $out, found: $package"

    Expected | sed 's|^|usr/|' | sort >"$WORK/expected-deb"
    # Lines read "-rw-r--r-- root/root 4724 2024-01-01 00:00 ./usr/share/lumarest/LMXExt2.dll".
    dpkg-deb -c "$package" | grep -v '^d' | sed -E 's|^([^ ]+ +){5}\./||' | sort >"$WORK/packaged"
    SameFiles "the packaged files" "$WORK/expected-deb" "$WORK/packaged"

    [[ $(dpkg-deb -f "$package" Package) == lumarest ]] || Fail "the package is not named lumarest"
    [[ $(dpkg-deb -f "$package" Version) == "$LUMAREST_VERSION" ]] ||
        Fail "the package's version is not $LUMAREST_VERSION"
    local depends library
    depends=$(dpkg-deb -f "$package" Depends)
    for library in libqt6core6 libqt6gui6 libqt6widgets6 libc6; do
        grep -q "$library" <<<"$depends" || Fail "Depends lacks $library: $depends"
    done
}

mkdir -p "$WORK"
case $MODE in
    install) Install ;;
    installed_cli) InstalledCli ;;
    desktop_files) DesktopFiles ;;
    manual) Manual ;;
    deb) Deb ;;
    *) Fail "unknown check" ;;
esac
