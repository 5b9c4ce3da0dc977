# Checks of an installed tree, shared by install_test.sh and package_test.sh (sourced).

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# check_runs BIN PPWRITER WORK: the installed program runs on its own, headless.
check_runs() {
    local bin="$1" ppwriter="$2" work="$3" out status
    out="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/kamomail" --version)" ||
        fail "kamomail --version exited with $?"
    [[ "$out" == "KamoMail Version "* ]] || fail "kamomail --version printed: $out"

    "$ppwriter" sample-folder "$work/PostPet" >/dev/null
    export KAMOMAIL_CONFIG_DIR="$work/config" KAMOMAIL_DATA_DIR="$work/data"
    status=0
    out="$("$bin/kamomail" read --postpet-dir "$work/PostPet" --all 2>&1)" || status=$?
    [ "$status" -eq 0 ] || fail "kamomail read exited with $status: $out"
    [[ "$out" == *"合計: 読込 "* ]] || fail "kamomail read printed no totals: $out"
    [ -s "$work/data/KamoMail.Mdb" ] || fail "no archive in the data folder"
    echo "$out" | tail -1
}

# check_library_message BIN LIBRARY WORK: without its library the program says where it looked.
check_library_message() {
    local bin="$1" library="$2" work="$3" out status=0
    mv "$library" "$library.away"
    out="$("$bin/kamomail" read --postpet-dir "$work/PostPet" --all 2>&1)" || status=$?
    mv "$library.away" "$library"
    [ "$status" -eq 1 ] || fail "without the library kamomail read exited with $status: $out"
    [[ "$out" == *"変換ライブラリを読み込めません"*"$library"* ]] ||
        fail "without the library the message does not name $library: $out"
}

# check_no_build_paths PREFIX BUILD: no run path and no text file leads back to the build folder.
check_no_build_paths() {
    local prefix="$1" build="$2" f paths hits
    while IFS= read -r -d '' f; do
        readelf -h "$f" >/dev/null 2>&1 || continue
        paths="$(readelf -d "$f" | grep -E '\((RUNPATH|RPATH)\)' || true)"
        [ -z "$paths" ] || fail "$f has a run path: $paths"
    done < <(find "$prefix" -type f -print0)
    # Text files only: debug information of a build names its source and build folders.
    hits="$(grep -rlIF -- "$build" "$prefix" || true)"
    [ -z "$hits" ] || fail "files naming the build folder $build: $hits"
    while IFS= read -r -d '' f; do
        ! zcat "$f" | grep -qF -- "$build" || fail "$f names the build folder"
    done < <(find "$prefix" -name '*.gz' -print0)
}
