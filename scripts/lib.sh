# Shared by scripts/test and scripts/demo: installs what the build needs and builds.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export ROOT

# Debian packages the builds, tests and tools need. kosim lists its own in its folder.
# The Linux build always builds the kiosk's GTK + WebKitGTK module (the headless agent never
# loads it), so the -dev package is a build need.
base_packages=(cmake ninja-build g++ clang-format googletest libgtest-dev libgmock-dev
    libbenchmark-dev libcpp-httplib-dev libasio-dev procps libcurl4-openssl-dev libxml2-dev
    pkg-config libwebkit2gtk-4.1-dev libsystemd-dev libx11-dev libxres-dev libxss-dev
    libsqlite3-dev libcanberra-dev)
# Workstation control's adapter tests: a private D-Bus with a stand-in login manager (Python).
control_test_packages=(dbus-daemon python3-dbus python3-gi)
# wine32 (Debian's i386 architecture) runs the XP-bound i686 programs.
windows_packages=(g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 wine32:i386 xvfb xauth)
# The fuzz targets: clang 14 and its libFuzzer runtime (libclang_rt.fuzzer).
fuzz_packages=(clang-14 libclang-rt-14-dev)
# The kiosk's screen tests, end-to-end runs, demo and benchmarks run on Xvfb with openbox, click
# and type with xdotool and measure windows with xwininfo and xprop (x11-utils); the watcher's
# end-to-end run makes browser profiles with Python's sqlite3.
kiosk_packages=(xvfb xauth openbox xdotool x11-utils python3)

# Installs the packages that are not installed yet. Needs root; without it, says what is missing.
ensure_packages() {
    local wanted=("$@") missing=() p
    if [ -f "$ROOT/tools/kosim/DEPENDENCIES.txt" ]; then
        while read -r p; do
            [ -n "$p" ] && [ "${p#\#}" = "$p" ] && wanted+=("$p")
        done <"$ROOT/tools/kosim/DEPENDENCIES.txt"
    fi
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "== installing: ${missing[*]}"
    if [ "$(id -u)" != 0 ]; then
        echo "missing packages and not root: apt-get install ${missing[*]}" >&2
        return 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    # Packages of a foreign architecture ("wine32:i386") need that architecture enabled first.
    local arch
    for arch in $(printf '%s\n' "${missing[@]}" | sed -n 's/^[^:]*:\(.*\)$/\1/p' | sort -u); do
        if [ "$arch" != "$(dpkg --print-architecture)" ] &&
            ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
            dpkg --add-architecture "$arch"
        fi
    done
    apt-get update -qq >/dev/null
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Configures (once) and builds a preset; extra arguments are build targets.
build_preset() {
    local preset=$1
    shift
    local dir="$ROOT/build/$preset"
    if [ ! -f "$dir/build.ninja" ]; then
        cmake --preset "$preset" -S "$ROOT" >"$ROOT/build/$preset-configure.log" 2>&1 || {
            cat "$ROOT/build/$preset-configure.log"
            return 1
        }
    fi
    local targets=()
    for t in "$@"; do targets+=(--target "$t"); done
    cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
}
