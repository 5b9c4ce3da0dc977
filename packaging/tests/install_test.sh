#!/usr/bin/env bash
# cmake --install into an empty folder gives a tree that runs from PREFIX/bin/kamomail, finds its
# library and help page by the build's relative places, and leads nowhere into the build folder.
#   install_test.sh BUILD_DIR PPWRITER BIN_TO_LIBRARY BIN_TO_DOC
set -euo pipefail
build="$1" ppwriter="$2" bin_to_library="$3" bin_to_doc="$4"
source "$(dirname "${BASH_SOURCE[0]}")/tree_checks.sh"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# A space and Japanese in the prefix: every path inside the tree is relative to it.
prefix="$work/インストール 先"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || {
    cat "$work/install.log"
    fail "cmake --install"
}

bin="$prefix/bin"
library="$(realpath -m "$bin/$bin_to_library")/libkamomail.so"
[ -x "$bin/kamomail" ] || fail "no bin/kamomail"
[ -f "$library" ] || fail "no library at bin/$bin_to_library"
[ "$(find "$prefix" -name 'libkamomail.so*' | wc -l)" -eq 1 ] || fail "more than one library installed"
for f in help.html LICENSE README.md; do
    [ -f "$bin/$bin_to_doc/$f" ] || fail "no $f at bin/$bin_to_doc"
done
for f in share/applications/io.github.kamomail.KamoMail.desktop \
    share/metainfo/io.github.kamomail.KamoMail.metainfo.xml \
    share/icons/hicolor/scalable/apps/kamomail.svg share/icons/hicolor/16x16/apps/kamomail.png \
    share/icons/hicolor/256x256/apps/kamomail.png share/man/man1/kamomail.1.gz lib/systemd/user/kamomail-watch.service; do
    [ -f "$prefix/$f" ] || fail "no $f"
done

check_runs "$bin" "$ppwriter" "$work"
check_library_message "$bin" "$library" "$work"
check_no_build_paths "$prefix" "$build"
echo "install tree in $prefix runs on its own"
