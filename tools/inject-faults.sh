#!/bin/bash
# Injects each fault of a list into the sources one at a time, rebuilds the
# test programs of the preset it belongs to, runs them (stopping at the first
# failure) and reverts the file; prints per fault whether the suite caught it.
# Run from a clean checkout whose build/native and build/win64 are configured
# with tests (the 20,000-module closure is left out):
#   nice -n 19 tools/inject-faults.sh [tools/faults.txt] > faults.log
# PRESETS=native (or win64) limits the run to the faults of one preset;
# TIMEOUT (seconds, default 120) bounds each test program, so a hang is caught.
# Results: caught, MISSED, gone (text not found), nocompile.
# WHO=1 runs every quick unit test instead of stopping at the first failure
# and lists after each caught fault the tests and programs that failed on it.
# For a quicker run configure build/native without optimisation, e.g.
#   cmake --preset native -DKIVREL_BUILD_TESTS=ON -DCMAKE_BUILD_TYPE=Debug \
#     -DCMAKE_CXX_FLAGS_DEBUG=-O0 -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=gold
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
list="$(realpath "${1:-$root/tools/faults.txt}")"
cd "$root"
[ -f /work/wt/env.sh ] && source /work/wt/env.sh

fuzz_tests=(fuzz_mapped_image fuzz_import_walk fuzz_export_table fuzz_import_thunks
            fuzz_transfer_formats fuzz_api_set_schema fuzz_font_text fuzz_wine_registry
            fuzz_manifest fuzz_resource_directory)
# Every native test program but the 20,000-module closure (missing ones are
# skipped). The quick unit tests run first; the fuzz replays, the benchmark
# equivalence and the cross-checks are built and run only for a fault the
# quick ones miss, as most faults are caught at once.
fast_tests=(tests/core/kivrel_core_tests tests/cli/kivrel_cli_test tests/cli/kivrel_sxs_cli_test
            tests/hostile/kivrel_hostile_test tests/controls/kivrel_controls_text_tests
            tests/controls/kivrel_font_text_tests tests/transfer/kivrel_transfer_tests)
slow_tests=("${fuzz_tests[@]/#/tests/fuzz/}" bench/tests/kivrel_bench_tests
            tests/crosscheck/kivrel_manifest_crosscheck_test tests/crosscheck/kivrel_crosscheck_test)
# The fuzz drivers replay their corpus (as ctest runs them) instead of taking gtest flags.
test_args() {  # test program, gtest flags -> its arguments
  local name="${1##*/}" corpus=corpus
  case "$name" in
    fuzz_transfer_formats) corpus=corpus-transfer ;;
    fuzz_api_set_schema) corpus=corpus-api-set ;;
    fuzz_font_text) corpus=corpus-font-text ;;
    fuzz_export_table | fuzz_import_thunks) corpus=corpus-functions ;;
    fuzz_wine_registry) corpus=corpus-wine-registry ;;
    fuzz_manifest) corpus=corpus-manifest ;;
    fuzz_resource_directory) corpus=corpus-resource ;;
    fuzz_*) ;;
    *) echo "$2"; return ;;
  esac
  echo "$root/tests/fuzz/$corpus $root/tests/fuzz/regressions"
}
stamp="build/native/fault-stamp"
run_programs() {  # stop-flag programs... -> 0 when every one passes
  local stop="$1" test failed=0
  shift
  for test in "$@"; do
    [ -x "build/native/$test" ] || continue
    # A program the fault's build did not relink cannot see it (the CLI
    # tests also run kivrel-scan).
    if [ "${all:-0}" != 1 ] && [ "build/native/$test" -ot "$stamp" ] &&
       { [[ "$test" != tests/cli/* ]] || [ build/native/cli/kivrel-scan -ot "$stamp" ]; }; then
      continue
    fi
    # A fault that makes a test hang or grow without end is caught as well
    # (ctest would time out); the memory cap keeps it from taking the machine.
    # shellcheck disable=SC2046
    (ulimit -v 12000000
     timeout "${TIMEOUT:-120}" "build/native/$test" $(test_args "$test" "$stop")) >>"$log" 2>&1 ||
      { failed=1; echo "failed: ${test##*/}" >>"$log"; }
    [ $failed = 1 ] && [ -n "$stop" ] && return 1
  done
  return $failed
}
run_once() {  # preset -> 0 when every test passes
  log="build/$1/fault-tests.log"
  : >"$log"
  if [ "$1" = native ]; then
    local stop=--gtest_fail_fast
    # WHO=1: every quick test, to tell which of them catch the fault.
    [ "${WHO:-0}" = 1 ] && stop=""
    run_programs "$stop" "${fast_tests[@]}" || return 1
    build_programs "${slow_tests[@]}" >>"build/native/fault-build.log" 2>&1
    run_programs --gtest_fail_fast "${slow_tests[@]}"
  else
    timeout 900 tests/windows/run-in-xvfb.sh build/win64/wine-run.sh \
      build/win64/tests/windows/kivrel_gui_tests.exe \
      $([ "${WHO:-0}" = 1 ] || echo --gtest_fail_fast) >"$log" 2>&1 || return 1
  fi
}
# The GUI suite drives real input and can fail once on a loaded machine: its
# failure counts only when a second run fails too.
run_tests() { run_once "$1" || { [ "$1" = win64 ] && run_once "$1"; }; }
build_programs() {  # programs... -> builds those that exist natively
  local targets=() test
  for test in "$@"; do
    [ -x "build/native/$test" ] && targets+=(--target "${test##*/}")
  done
  [ ${#targets[@]} = 0 ] || cmake --build build/native -j2 "${targets[@]}"
}
build() {  # preset; natively the quick test programs and kivrel-scan only
  if [ "$1" = native ]; then
    touch "$stamp"
    build_programs "${fast_tests[@]}" cli/kivrel-scan >"build/native/fault-build.log" 2>&1
  else
    cmake --build "build/$1" -j2 >"build/$1/fault-build.log" 2>&1
  fi
}

presets="${PRESETS:-native win64}"
for preset in $presets; do
  build "$preset" || { echo "baseline build of $preset fails"; exit 2; }
  [ "$preset" = native ] && { build_programs "${slow_tests[@]}" >/dev/null 2>&1 ||
                                { echo "baseline build of native fails"; exit 2; }; }
  all=1 run_tests "$preset" || { echo "baseline tests of $preset fail"; exit 2; }
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
    grep -aoE '^\[  FAILED  \] [A-Za-z_][A-Za-z0-9_/.]+|^failed: .*' "build/$preset/fault-tests.log" |
      sed -E 's/^\[  FAILED  \] |^/    /' | sort -u
  fi
done <"$list"
for preset in $presets; do
  build "$preset"
  [ "$preset" = native ] && build_programs "${slow_tests[@]}" >/dev/null 2>&1
done
echo "caught $caught of $total"
