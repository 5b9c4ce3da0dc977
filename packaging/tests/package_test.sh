#!/usr/bin/env bash
# cpack builds a Debian package holding the program, its library, the menu entry, the icon and the
# manual page, with dependencies from dpkg-shlibdeps; unpacked, its tree runs on its own.
#   package_test.sh BUILD_DIR PPWRITER
set -euo pipefail
build="$1" ppwriter="$2"
source "$(dirname "${BASH_SOURCE[0]}")/tree_checks.sh"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log"
    fail "cpack"
}
debs=("$work"/out/kamomail_*_amd64.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single kamomail_*_amd64.deb: ${debs[*]}"
deb="${debs[0]}"

[ "$(dpkg-deb -f "$deb" Package)" = kamomail ] || fail "package name"
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libc6 libqt6widgets6 libsqlite3-0 libicu libetpan20 libgnutls30; do
    [[ "$depends" == *"$lib"* ]] || fail "Depends has no $lib: $depends"
done

listing="$(dpkg-deb -c "$deb")"
for f in ./usr/bin/kamomail ./usr/share/applications/io.github.kamomail.KamoMail.desktop \
    ./usr/share/metainfo/io.github.kamomail.KamoMail.metainfo.xml \
    ./usr/share/icons/hicolor/scalable/apps/kamomail.svg ./usr/share/icons/hicolor/48x48/apps/kamomail.png \
    ./usr/share/man/man1/kamomail.1.gz ./usr/share/doc/kamomail/help.html ./usr/share/doc/kamomail/LICENSE \
    ./usr/lib/systemd/user/kamomail-watch.service; do
    grep -qE " $(printf '%s' "$f" | sed 's/\./\\./g')\$" <<<"$listing" || fail "$f not in the package"
done
grep -qE ' \./usr/lib/([^/]+/)?kamomail/libkamomail\.so$' <<<"$listing" || fail "library not in the package"
# The user service is off until the user enables it: the package links it into no target.
if grep -q '\.wants/' <<<"$listing"; then
    fail "the package enables a unit: $(grep '\.wants/' <<<"$listing")"
fi
if grep -v ' root/root ' <<<"$listing" | grep -q .; then
    fail "files not owned by root: $(grep -v ' root/root ' <<<"$listing")"
fi

dpkg-deb -x "$deb" "$work/root"
library="$(find "$work/root/usr/lib" -name libkamomail.so)"
check_runs "$work/root/usr/bin" "$ppwriter" "$work"
check_library_message "$work/root/usr/bin" "$library" "$work"
check_no_build_paths "$work/root" "$build"
echo "$(basename "$deb"): Depends: $depends"
