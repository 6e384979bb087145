# Shared by ./run, ./test and the scripts in this folder. Source it; do not run it.

VORLAND_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VORLAND_BUILD=${VORLAND_BUILD:-$VORLAND_ROOT/build}
export VORLAND_WINEPREFIX=${VORLAND_WINEPREFIX:-$VORLAND_BUILD/wine/prefix}

say() { printf '\033[1m==> %s\033[0m\n' "$*" >&2; }
die() { printf 'error: %s\n' "$*" >&2; exit 1; }

# Everything a fresh Debian 12 machine lacks for building, testing and running. fonts-wine has
# Marlett, the caption buttons' glyphs: without it captions show "r", "0" and "1" (see
# ensure_wine_prefix).
VORLAND_PACKAGES=(
    cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev googletest libbenchmark-dev
    nlohmann-json3-dev
    mingw-w64 wine wine64 wine32:i386 xvfb xauth x11-utils imagemagick procps fonts-liberation
    fonts-wine
)

# Installs whatever is missing, with apt-get (as root, or through sudo).
ensure_packages() {
    local missing=() p
    for p in "${VORLAND_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    say "installing: ${missing[*]}"
    local sudo=
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
        ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" \
        >/dev/null || die "apt-get install failed"
}

# Configures one build tree unless done before with the same options (a tree made with other
# options, another compiler say, is made afresh). $1 = name under build/, the rest = cmake options.
configure_tree() {
    local name=$1
    shift
    local stamp="$VORLAND_BUILD/$name/.vorland-options"
    [ -f "$VORLAND_BUILD/$name/build.ninja" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$*" ] && return 0
    rm -rf "${VORLAND_BUILD:?}/$name"
    # ccache, where a developer has it, makes a rebuild after a branch switch or in a second
    # clone cheap; nothing needs it.
    local launcher=()
    command -v ccache >/dev/null &&
        launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S "$VORLAND_ROOT" -B "$VORLAND_BUILD/$name" -G Ninja "${launcher[@]}" "$@" >/dev/null ||
        { echo "error: configure of $name failed" >&2; return 1; }
    printf '%s' "$*" >"$stamp"
}

# Runs a build command, at priority VORLAND_BUILD_NICE when set (./test lowers the builds that
# run beside its tests).
build_cmd() {
    if [ -n "${VORLAND_BUILD_NICE:-}" ]; then nice -n "$VORLAND_BUILD_NICE" "$@"; else "$@"; fi
}

# Configures and builds one build tree. $1 = name under build/, the rest = cmake options.
build_tree() {
    configure_tree "$@" || return 1
    build_cmd cmake --build "$VORLAND_BUILD/$1" || { echo "error: build of $1 failed" >&2; return 1; }
}

# clang for the sanitizer trees: it builds them in half the time g++ takes (measured: the
# native tree 122 s of CPU against 240 s).
CLANG=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
NATIVE_OPTIONS=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLAND_BENCH=OFF "${CLANG[@]}")
build_native() { build_tree native "${NATIVE_OPTIONS[@]}"; }
# Only the simulator of the native tree: the Win32 tests and benchmarks start it under Wine.
build_native_sim() {
    configure_tree native "${NATIVE_OPTIONS[@]}" || return 1
    build_cmd cmake --build "$VORLAND_BUILD/native" --target vorland-sim >/dev/null ||
        { echo "error: build of vorland-sim failed" >&2; return 1; }
}
# Benchmarks measure optimised code without sanitizers, in a tree of their own.
build_bench() {
    build_tree bench -DCMAKE_BUILD_TYPE=Release -DVORLAND_SANITIZE=OFF -DVORLAND_TESTS=OFF
}
WINDOWS_OPTIONS=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$VORLAND_ROOT/cmake/mingw-i686.cmake"
    -DVORLAND_SIM_EXE="$VORLAND_BUILD/native/sim/vorland-sim")
build_windows() {
    build_native_sim || return 1
    build_tree win "${WINDOWS_OPTIONS[@]}"
}
# Only the given targets of the Windows tree (no tests, no benchmarks).
build_windows_targets() {
    configure_tree win "${WINDOWS_OPTIONS[@]}" || return 1
    build_cmd cmake --build "$VORLAND_BUILD/win" --target "$@" ||
        { echo "error: build of $* failed" >&2; return 1; }
}
# Only the programs that a Windows user gets (the release package), in the same tree.
build_windows_programs() { build_windows_targets Vorland VorlandGallery vorland-cli; }
# ThreadSanitizer over the tests that run several units at once, in a tree of their own: only
# what those tests need is built (vorland-cli, vorland-sim and the two test programs).
TSAN_TESTS=(cli_gang_test cli_gang_units_test)
build_tsan() {
    configure_tree tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLAND_SANITIZE=OFF -DVORLAND_TSAN=ON \
        -DVORLAND_BENCH=OFF "${CLANG[@]}" || return 1
    build_cmd cmake --build "$VORLAND_BUILD/tsan" --target vorland-cli vorland-sim "${TSAN_TESTS[@]}" ||
        { echo "error: build of tsan failed" >&2; return 1; }
}
# The libFuzzer targets alone (the programs and the layers no target uses are not built).
mapfile -t FUZZ_TARGETS < <(cd "$VORLAND_ROOT/tests/fuzz" && ls -- *_fuzz.cpp | sed 's/\.cpp$//')
build_fuzz() {
    configure_tree fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLAND_FUZZ=ON "${CLANG[@]}" || return 1
    build_cmd cmake --build "$VORLAND_BUILD/fuzz" --target "${FUZZ_TARGETS[@]}" ||
        { echo "error: build of fuzz failed" >&2; return 1; }
}

# Starts a private X server unless one is given; sets DISPLAY and VORLAND_XVFB_PID.
start_display() {
    if [ -n "${DISPLAY:-}" ] && [ -z "${VORLAND_FORCE_XVFB:-}" ]; then
        return 0
    fi
    local fifo
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    VORLAND_XVFB_PID=$!
    local num
    read -r num <"$fifo"
    rm -f "$fifo"
    export DISPLAY=:$num
}

stop_display() {
    [ -n "${VORLAND_XVFB_PID:-}" ] && kill "$VORLAND_XVFB_PID" 2>/dev/null
    VORLAND_XVFB_PID=
}

wine_env() {
    export WINEPREFIX=$VORLAND_WINEPREFIX WINEARCH=win32
    export WINEDEBUG=${WINEDEBUG:--all}
    # No Mono or Gecko prompts: the programs need neither.
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
}

# Creates the build tree's Wine prefix on first use. Its COM1..COM9 are ours: Wine's mount
# manager would otherwise link the machine's /dev/ttyS* to them each time the server starts,
# and the programmer scan would talk to a real device nobody asked for.
ensure_wine_prefix() {
    wine_env
    [ -f "$WINEPREFIX/.vorland-ready-3" ] && return 0
    say "creating the Wine prefix in $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    DISPLAY= wineboot -i >/dev/null 2>&1 || die "wineboot failed"
    local n
    for n in 1 2 3 4 5 6 7 8 9; do
        wine reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /t REG_SZ /d "" /f >/dev/null 2>&1 ||
            die "could not write the COM port overrides"
    done
    # Wine has no Arial; the chart controls ask for it by name. Liberation Sans has its metrics.
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /t REG_SZ \
        /d "Liberation Sans" /f >/dev/null 2>&1
    # The caption buttons are glyphs of Marlett (fonts-wine). This Wine looks for its own fonts
    # beside /usr/share/fonts, not where that package puts them: the prefix gets a link.
    ln -sf /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf"
    wineserver -k 2>/dev/null || true
    wineserver -w
    rm -f "$WINEPREFIX"/dosdevices/com*
    touch "$WINEPREFIX/.vorland-ready-3"
}

# Runs Wine's windows inside one virtual desktop window ("on") or as windows of the X display
# ("off"). On a bare virtual display the desktop is needed: without a window manager Wine waits
# two seconds for every window it hides, and windows would have no captions in screenshots.
wine_virtual_desktop() {
    wine_env
    if [ "$1" = on ]; then
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1280x1024 /f \
            >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null 2>&1
    else
        wine reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f >/dev/null 2>&1
    fi
    # The desktop is chosen when the server's first window program starts: begin afresh.
    stop_wineserver
}

# Points COM$1 of the prefix at $2 (a pseudo-terminal or a device); no $2 removes it.
wine_com_link() {
    rm -f "$VORLAND_WINEPREFIX/dosdevices/com$1"
    [ -n "${2:-}" ] && ln -s "$2" "$VORLAND_WINEPREFIX/dosdevices/com$1"
    return 0
}

# Removes every COM link of the prefix (the overrides keep Wine from adding its own).
wine_com_clear() { rm -f "$VORLAND_WINEPREFIX"/dosdevices/com*; }

# A persistent server with Wine's services already running: later programs start in a fraction
# of a second, and the services never hold a caller's output pipe open (CTest would wait on it).
# Its mount manager has then linked the machine's own serial devices (/dev/ttyS*) to the first
# COM ports the overrides leave free (COM10 and up; with every port overridden it still takes
# COM256): those links go again, so that no COM port of the prefix reaches a real device and the
# programs' scan of every port stays in the prefix. Links made from now on are kept.
start_wineserver() {
    wine_env
    wineserver -p >/dev/null 2>&1
    wine cmd /c exit </dev/null >/dev/null 2>&1
    wine_com_clear
}

stop_wineserver() {
    wine_env
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}
