#!/bin/bash
# Runs the Windows tests of a build directory under Wine with a virtual display.
#   tests/platform/win32/run_under_wine.sh <build-dir> [ctest arguments...]
# The prefix lives in <build-dir>/wineprefix. Where the distribution ships only the 64-bit loader
# (no `wine` command), or whose `wine` cannot start (a kernel without 32-bit support runs only the
# 64-bit loader), small stand-ins for wine and wineboot are made in <build-dir>/winebin.
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)
shift

if ! command -v wine >/dev/null 2>&1 || ! wine --version >/dev/null 2>&1; then
    loader=/usr/lib/wine/wine64
    [ -x "$loader" ] || { echo "no Wine loader found" >&2; exit 1; }
    mkdir -p "$build/winebin"
    printf '#!/bin/sh\nexec %s "$@"\n' "$loader" >"$build/winebin/wine"
    printf '#!/bin/sh\nexec %s wineboot "$@"\n' "$loader" >"$build/winebin/wineboot"
    ln -sf /usr/lib/wine/wineserver "$build/winebin/wineserver"
    chmod +x "$build/winebin/wine" "$build/winebin/wineboot"
    export PATH="$build/winebin:$PATH"
fi

export WINEPREFIX="$build/wineprefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree="
export KO_TEST_BUILD="$build"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  [ -f "$WINEPREFIX/system.reg" ] || { wineboot --init; wineserver -w; }
  wineserver -p </dev/null >/dev/null 2>&1
  wine reg add "HKCU\\Software\\Wine\\WineDbg" /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  ctest --test-dir "$KO_TEST_BUILD" --output-on-failure --timeout 120 "$@"; rc=$?
  wineserver -k; exit $rc' bash "$@"
