#!/bin/bash
# Kivrel's main job on a built-in default: builds everything needed, then
# scans a freshly built Windows module against Wine's DLL directory.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash tools/install-deps.sh

cmake --preset native >/dev/null
cmake --build --preset native -j2 --target kivrel-scan >/dev/null
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j2 --target kivrel-scan >/dev/null

module="${1:-$root/build/win64/cli/kivrel-scan.exe}"
wine_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
echo "kivrel-scan --system-dir $wine_dlls $module"
status=0
build/native/cli/kivrel-scan --system-dir "$wine_dlls" "$module" || status=$?
echo "(exit status $status)"
