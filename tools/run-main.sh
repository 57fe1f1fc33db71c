#!/bin/bash
# Kivrel's main job on a built-in default: builds Kivrel.exe and runs it under
# Wine with a module on its command line, so the scan runs at once. Without a
# display it runs inside Xvfb and writes a screenshot, kivrel-main.png.
# Usage: tools/run-main.sh [MODULE]   (default: a small program of the GUI tests
# whose report has found and missing modules)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash tools/install-deps.sh

cmake --preset native >/dev/null
cmake --build --preset native -j2 --target kivrel-scan >/dev/null
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j2 --target Kivrel kivrel-scan >/dev/null
# The default module is the GUI tests' fixture program; build it when present.
cmake --build --preset win64 -j2 --target kivrel_fixture_app >/dev/null 2>&1 || true

module="${1:-}"
if [ -z "$module" ]; then
  module=build/win64/tests/windows/fixture/fixture_app.exe
  [ -f "$module" ] || module=build/win64/cli/kivrel-scan.exe
fi
module=$(realpath "$module")

# The same scan on the command line, resolved against Wine's DLL directory.
echo "kivrel-scan --system-dir /usr/lib/x86_64-linux-gnu/wine/x86_64-windows $module"
build/native/cli/kivrel-scan --system-dir /usr/lib/x86_64-linux-gnu/wine/x86_64-windows \
  "$module" || true

if [ -n "${DISPLAY:-}" ]; then
  export WINEPREFIX="$root/build/win64/main-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wine=/usr/lib/wine/wine64
  [ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
  exec "$wine" build/win64/app/Kivrel.exe "Z:${module//\//\\}"
fi
tools/screenshot.sh -b build/win64 "$root/kivrel-main.png" "$module"
echo "Kivrel.exe ran under Wine in Xvfb; its window is in kivrel-main.png"
