#!/usr/bin/env bash
# What we write for other programs, checked by their own tools. Any remark fails: the tools exit 0
# on warnings and hints that desktops still trip over.
#   check_data.sh desktop FILE | metainfo FILE VERSION | man FILE | icons DIR | unit FILE PROGRAM
set -euo pipefail

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Runs a command; fails when it fails or prints anything.
quiet() {
    local out
    if ! out="$("$@" 2>&1)"; then
        printf '%s\n' "$out"
        fail "$* exited with an error"
    fi
    if [ -n "$out" ]; then
        printf '%s\n' "$out"
        fail "$* had remarks"
    fi
}

case "$1" in
desktop)
    quiet desktop-file-validate "$2"
    echo "desktop-file-validate: no remarks"
    ;;
metainfo)
    # --strict fails on warnings and infos too; --no-net: no URL look-ups on a machine without network.
    appstreamcli validate --no-net --strict "$2" || fail "appstreamcli validate"
    # The newest release must be the version the program prints.
    newest="$(grep -o '<release version="[^"]*"' "$2" | head -1 | cut -d'"' -f2)"
    [ "$newest" = "$3" ] || fail "newest release in $2 is '$newest', the program is $3"
    ;;
man)
    # The warnings of man and groff (undefined macros, bad escapes, lines that do not fit) go to
    # standard error.
    out="$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$2" 2>&1 >/dev/null)" ||
        fail "man exited with an error: $out"
    [ -z "$out" ] || fail "man warnings: $out"
    # mandb reads the NAME section for whatis and apropos.
    whatis="$(lexgrog "$2")" || fail "lexgrog found no NAME section: $whatis"
    case "$whatis" in
    *'"kamomail - '*) echo "$whatis" ;;
    *) fail "unexpected whatis line: $whatis" ;;
    esac
    ;;
unit)
    # The user service as installed must start the installed program, read --watch, and restart only
    # after a failure (a clean stop is status 0). systemd-analyze then reads a copy whose ExecStart is
    # the built program (the installed one need not exist here); it checks every key and that the
    # command can run. The manual page is not installed here, so its link is not followed.
    grep -qx "ExecStart=.*/bin/kamomail read --watch" "$2" ||
        fail "$2: ExecStart is not the installed kamomail read --watch"
    grep -qx 'Restart=on-failure' "$2" || fail "$2: no Restart=on-failure"
    command -v systemd-analyze >/dev/null || fail "systemd-analyze not found (Debian package systemd)"
    dir="$(mktemp -d)"
    trap 'rm -rf "$dir"' EXIT
    sed "s|^ExecStart=[^ ]*/kamomail |ExecStart=$3 |" "$2" >"$dir/$(basename "$2")"
    grep -q "^ExecStart=$3 read --watch$" "$dir/$(basename "$2")" || fail "could not point the copy at $3"
    quiet systemd-analyze verify --man=no "$dir/$(basename "$2")"
    echo "systemd-analyze verify: no remarks"
    ;;
icons)
    for size in 16 32 48 64 128 256; do
        f="$2/${size}x${size}/kamomail.png"
        desc="$(file -b "$f")"
        case "$desc" in
        "PNG image data, $size x $size, "*) ;;
        *) fail "$f: $desc" ;;
        esac
    done
    echo "icons: six PNG files of their sizes"
    ;;
*)
    fail "unknown check $1"
    ;;
esac
