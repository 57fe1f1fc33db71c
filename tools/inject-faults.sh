#!/bin/bash
# Injects each fault of a list into the sources one at a time, rebuilds the
# test programs of the preset it belongs to, runs them (stopping at the first
# failure) and reverts the file; prints per fault whether the suite caught it.
# Run from a clean checkout whose build/native and build/win64 are configured
# with tests (the 20,000-module closure is left out):
#   nice -n 19 tools/inject-faults.sh [tools/faults.txt] > faults.log
# PRESETS=native (or win64) limits the run to the faults of one preset.
# Results: caught, MISSED, gone (text not found), nocompile.
# WHO=1 runs every test instead of stopping at the first failure and lists
# after each caught fault the tests that failed on it.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
list="$(realpath "${1:-$root/tools/faults.txt}")"
cd "$root"
[ -f /work/wt/env.sh ] && source /work/wt/env.sh

# Every native test program but the 20,000-module closure (missing ones are skipped).
native_tests=(tests/core/kivrel_core_tests tests/cli/kivrel_cli_test
              tests/hostile/kivrel_hostile_test bench/tests/kivrel_bench_tests
              tests/crosscheck/kivrel_crosscheck_test tests/controls/kivrel_controls_text_tests
              tests/controls/kivrel_font_text_tests tests/transfer/kivrel_transfer_tests)
stop="--gtest_fail_fast"
[ "${WHO:-0}" = 1 ] && stop=""
run_once() {  # preset -> 0 when every test passes
  local log="build/$1/fault-tests.log" test failed=0
  : >"$log"
  if [ "$1" = native ]; then
    for test in "${native_tests[@]}"; do
      [ -x "build/native/$test" ] || continue
      # A fault that makes a test hang or grow without end is caught as well
      # (ctest would time out); the memory cap keeps it from taking the machine.
      (ulimit -v 12000000; timeout 120 "build/native/$test" $stop) >>"$log" 2>&1 || failed=1
      [ $failed = 1 ] && [ -n "$stop" ] && return 1
    done
    return $failed
  else
    timeout 900 tests/windows/run-in-xvfb.sh build/win64/wine-run.sh \
      build/win64/tests/windows/kivrel_gui_tests.exe $stop >"$log" 2>&1 || return 1
  fi
}
# The GUI suite drives real input and can fail once on a loaded machine: its
# failure counts only when a second run fails too.
run_tests() { run_once "$1" || { [ "$1" = win64 ] && run_once "$1"; }; }
build() { cmake --build "build/$1" -j2 >"build/$1/fault-build.log" 2>&1; }

presets="${PRESETS:-native win64}"
for preset in $presets; do
  build "$preset" || { echo "baseline build of $preset fails"; exit 2; }
  run_tests "$preset" || { echo "baseline tests of $preset fail"; exit 2; }
done

caught=0 total=0
while IFS=$'\t' read -r preset file find replace; do
  [[ -z "$preset" || "$preset" == \#* ]] && continue
  [[ " $presets " == *" $preset "* ]] || continue
  label="$file: $find"
  if ! python3 - "$file" "$find" "$replace" <<'PY'
import sys
path, find, replace = sys.argv[1], sys.argv[2].replace('\\n', '\n'), sys.argv[3].replace('\\n', '\n')
try:
    text = open(path).read()
except OSError:
    sys.exit(1)
if find not in text:
    sys.exit(1)
open(path, 'w').write(text.replace(find, replace, 1))
PY
  then
    printf '%-9s %s\n' gone "$label"
    continue
  fi
  if ! build "$preset"; then
    result=nocompile
  elif run_tests "$preset"; then
    result=MISSED total=$((total + 1))
  else
    result=caught total=$((total + 1)) caught=$((caught + 1))
  fi
  git checkout -q -- "$file"
  printf '%-9s %s\n' "$result" "$label"
  if [ "${WHO:-0}" = 1 ] && [ "$result" = caught ]; then
    grep -aoE '^\[  FAILED  \] [A-Za-z0-9_/.]+|^timeout|Killed' "build/$preset/fault-tests.log" |
      sed 's/^\[  FAILED  \] /    /' | sort -u
  fi
done <"$list"
for preset in $presets; do build "$preset"; done
echo "caught $caught of $total"
