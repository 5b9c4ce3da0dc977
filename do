#!/usr/bin/env bash
# The one entry script: ./do setup|build|test|package|bench|fuzz|format|run|demo
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$ROOT"
JOBS="${JOBS:-$(nproc)}"

PACKAGES=(
    cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
    qt6-base-dev libgl-dev libsqlite3-dev libsqlitecpp-dev sqlite3 libicu-dev libzstd-dev
    libgtest-dev libgmock-dev libbenchmark-dev libgmime-3.0-dev notmuch maildir-utils nlohmann-json3-dev
    fonts-ipafont-gothic xvfb xauth imagemagick qt6-translations-l10n
    librsvg2-bin desktop-file-utils appstream man-db groff-base dpkg-dev binutils file systemd ccache
    python3-html5lib python3-vobject poppler-utils
    libetpan-dev libgnutls28-dev dovecot-imapd openssl
)

have_clang_fuzzer() {
    command -v clang++ >/dev/null 2>&1 || return 1
    ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1
}

cmd_setup() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "setup: installing ${missing[*]}"
    local SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

configure() { # dir, extra cmake args...
    local dir="$1"; shift
    # ccache keeps compiled objects across build folders and clones (paths below the base folder
    # are hashed relative), so a test build after a demo build, or a second clone, compiles little.
    local launcher=()
    if command -v ccache >/dev/null 2>&1; then
        export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$ROOT")}" CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
        launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    # Always pass the options, so a folder configured otherwise by hand (a Debug build/, say)
    # is brought back to what the command promises; cheap when nothing changed.
    cmake -S "$ROOT" -B "$dir" -G Ninja "${launcher[@]}" "$@" >"$dir.configure.log" 2>&1 || {
        cat "$dir.configure.log"
        return 1
    }
}

configure_build() {
    cmd_setup
    # Prefix /usr: the Debian layout (library in lib/<arch>/kamomail), the one the package installs.
    # `cmake --install build --prefix DIR` still installs anywhere; the program finds its files
    # relative to itself.
    configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr
}

cmd_build() {
    configure_build
    cmake --build build -j "$JOBS"
}

# What run and demo start: the program, the conversion library and the mailbox writer; no tests,
# no benchmarks.
PROGRAM_TARGETS=(kamomail_app kamomail ppwriter)
build_program() {
    configure_build
    cmake --build build -j "$JOBS" --target "${PROGRAM_TARGETS[@]}"
}

# The test build: Debug with the address and undefined-behaviour sanitizers. Prefix /usr as in
# ./do build: the install and package tests see the layout the package has.
configure_test() {
    cmd_setup
    configure build-asan -DCMAKE_BUILD_TYPE=Debug -DKAMOMAIL_SANITIZE=ON -DCMAKE_INSTALL_PREFIX=/usr
}

cmd_package() {
    cmd_build
    rm -f build/kamomail_*.deb
    cpack --config build/CPackConfig.cmake -B build >build/cpack.log 2>&1 || {
        cat build/cpack.log
        return 1
    }
    local deb
    deb="$(ls build/kamomail_*.deb)"
    echo "package: $deb"
    dpkg-deb -f "$deb" Package Version Architecture Depends
}

build_fuzz() {
    configure build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
        -DCMAKE_CXX_COMPILER=clang++ -DKAMOMAIL_FUZZ=ON -DKAMOMAIL_LIBRARY_ONLY=ON
    cmake --build build-fuzz -j "$JOBS"
}

run_fuzzers() { # seconds per target
    local secs="$1" status=0
    for f in "$ROOT"/build-fuzz/bin/fuzz_*; do
        [ -x "$f" ] || continue
        local name corpus work
        name="$(basename "$f")"
        corpus="$ROOT/build-fuzz/corpus/$name"
        work="$ROOT/build-fuzz/work/$name"
        mkdir -p "$work"
        echo "fuzz: $name for ${secs}s"
        if ! (cd "$work" && "$f" -max_total_time="$secs" -print_final_stats=0 "$work" "$corpus" >"$work/log" 2>&1); then
            echo "fuzz: $name FOUND A PROBLEM"; tail -40 "$work/log"; status=1
        fi
    done
    return $status
}

cmd_test() {
    configure_test
    cmake --build build-asan -j "$JOBS"
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    export QT_QPA_PLATFORM=offscreen
    ctest --test-dir build-asan --output-on-failure -j "$JOBS"
    if have_clang_fuzzer; then
        build_fuzz
        run_fuzzers "${FUZZ_SECONDS:-20}"
    else
        echo "fuzz: clang with libFuzzer not found, fuzz targets skipped"
    fi
}

cmd_fuzz() {
    cmd_setup
    have_clang_fuzzer || { echo "fuzz: clang with libFuzzer is required"; exit 1; }
    build_fuzz
    run_fuzzers "${1:-300}"
}

cmd_bench() {
    cmd_build
    local status=0
    for b in build/bin/bench_*; do
        [ -x "$b" ] || continue
        echo "== $(basename "$b")"
        "$b" || status=1
    done
    # Side by side with notmuch and mu on the same mails (KAMOMAIL_VERSUS_MAILS=0 leaves it out).
    if [ "${KAMOMAIL_VERSUS_MAILS:-20000}" -gt 0 ]; then
        echo "== versus"
        python3 bench/versus.py build/bin --mails "${KAMOMAIL_VERSUS_MAILS:-20000}" \
            --rounds "${KAMOMAIL_VERSUS_ROUNDS:-3}" || status=1
    fi
    return $status
}

cmd_format() {
    git ls-files '*.cpp' '*.h' '*.c' | xargs -r clang-format -i
}

cmd_run() {
    build_program
    exec build/bin/kamomail "$@"
}

# The demo runs the test build's program (only the three targets it needs are built), so a
# newcomer's `./do test` after `./do demo` compiles only the tests, and faults found while trying
# the program are caught by the sanitizers. Leak reports are left to the tests.
cmd_demo() {
    configure_test
    cmake --build build-asan -j "$JOBS" --target "${PROGRAM_TARGETS[@]}"
    local bin="$ROOT/build-asan/bin"
    export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}"
    local demo="${KAMOMAIL_DEMO_DIR:-$ROOT/build-asan/demo}"
    rm -rf "$demo"
    mkdir -p "$demo/config" "$demo/data"
    "$bin/ppwriter" sample-folder "$demo/PostPet"
    # Read options, every mailbox ticked. Send side: 0 outbox, 1 purple, 2 yellow, 3 pink drawer;
    # receive side: 0 inbox, 1 orange, 2 brown, 3 red, 4 light blue, 5 black, 6 green, 7 pink,
    # 8 yellow, 9 purple drawer (app/import/Mailboxes.h).
    printf '[PostPet Mail Option]\nPostPet Dir=%s\nMy Mail Addr=kamo@example.jp\nMy Mail Handle=かも\nMy Pet Name=モモ\n[Mail Options]\nSend Mail Read Option=1,1,1,1,0,0,0,0,0,0,0,0,0,0,0,0\nReciev Mail Read Option=1,1,1,1,1,1,1,1,1,1,0,0,0,0,0,0\n' \
        "$demo/PostPet" >"$demo/config/KAMOMAIL.ini"
    export KAMOMAIL_CONFIG_DIR="$demo/config" KAMOMAIL_DATA_DIR="$demo/data"
    if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
        echo "demo: no display; reading the sample folder from the terminal (kamomail read) instead"
        exec "$bin/kamomail" read
    fi
    echo "demo: PostPet folder $demo/PostPet; press \"PostPet Mail Read\""
    exec "$bin/kamomail" "$@"
}

case "${1:-}" in
    setup) cmd_setup ;;
    build) cmd_build ;;
    test) cmd_test ;;
    package) cmd_package ;;
    bench) cmd_bench ;;
    fuzz) shift; cmd_fuzz "$@" ;;
    format) cmd_format ;;
    run) shift; cmd_run "$@" ;;
    demo) shift; cmd_demo "$@" ;;
    *) echo "usage: ./do setup|build|test|package|bench|fuzz [seconds]|format|run|demo" >&2; exit 2 ;;
esac
