#!/bin/bash
# Runs the Windows tests of a build directory under Wine with a virtual display.
#   tests/platform/win32/run_under_wine.sh <build-dir> [ctest arguments...]
# The prefix lives in <build-dir>/wineprefix. The tests are 64-bit programs: small stand-ins for
# wine and wineboot in <build-dir>/winebin call the 64-bit loader, because the `wine` command
# takes the 32-bit one once wine32 is installed (and it starts no 64-bit program).
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)
shift

loader=/usr/lib/wine/wine64
[ -x "$loader" ] || { echo "no 64-bit Wine loader found" >&2; exit 1; }
mkdir -p "$build/winebin"
printf '#!/bin/sh\nexec %s "$@"\n' "$loader" >"$build/winebin/wine"
printf '#!/bin/sh\nexec %s wineboot "$@"\n' "$loader" >"$build/winebin/wineboot"
ln -sf /usr/lib/wine/wineserver "$build/winebin/wineserver"
chmod +x "$build/winebin/wine" "$build/winebin/wineboot"
export PATH="$build/winebin:$PATH"

export WINEPREFIX="$build/wineprefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree="
# A prefix made before wine32 was installed (or removed) can no longer start 64-bit programs: a
# prefix remembers the wine32 it was made with and is made anew when that changed.
stamp="wine32 $(dpkg-query -W -f='${Version}' wine32:i386 2>/dev/null || true)"
if [ -f "$WINEPREFIX/system.reg" ] && [ "$(cat "$WINEPREFIX/ostrel-made-with" 2>/dev/null)" != "$stamp" ]; then
    rm -rf "$WINEPREFIX"
fi
export KO_PREFIX_STAMP="$stamp"
export KO_TEST_BUILD="$build"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  [ -f "$WINEPREFIX/system.reg" ] || { wineboot --init; wineserver -w; echo "$KO_PREFIX_STAMP" >"$WINEPREFIX/ostrel-made-with"; }
  wineserver -p </dev/null >/dev/null 2>&1
  wine reg add "HKCU\\Software\\Wine\\WineDbg" /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  ctest --test-dir "$KO_TEST_BUILD" --output-on-failure --timeout 120 "$@"; rc=$?
  wineserver -k; exit $rc' bash "$@"
