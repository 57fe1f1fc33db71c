#!/bin/bash
# Builds all three presets and runs every test: native, the Windows build under
# wine64, and the hardening suite (sanitizers and a bounded fuzz run).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash tools/install-deps.sh

echo "== source format"
bash tools/check-format.sh

for preset in native win64 win32; do
  echo "== build $preset"
  # 32-bit programs cannot run here: the win32 build checks that the product
  # compiles and links, and builds its package; its tests would never run.
  tests=ON
  [ "$preset" = win32 ] && tests=OFF
  cmake --preset "$preset" -DKIVREL_BUILD_TESTS=$tests >/dev/null
  cmake --build --preset "$preset" -j2
done

echo "== test native"
ctest --preset native
echo "== test win64 (under wine64)"
ctest --preset win64

echo "== release packages"
bash tools/test-packages.sh

if [ -x tools/ci-hardening.sh ] || [ -f tools/ci-hardening.sh ]; then
  echo "== hardening"
  bash tools/ci-hardening.sh
fi
