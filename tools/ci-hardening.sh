#!/bin/bash
# CI hardening: the whole native test suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the fuzz targets: the saved corpus and the
# regression inputs replayed, and a bounded fuzz run of each target (about a
# minute each for the image layer and the import walk, at once on two cores,
# then at most 20 s each for the export table and the imported functions, at
# once, for the drag-and-drop formats, the API set schema and the font text,
# at once, and for the manifest reader and the resource directory walk, at
# once). Any failure, crash, leak or time-out
# ends the script with a non-zero status.
#   FUZZ_SECONDS   seconds of fuzzing per target (default 60)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
fuzz_seconds="${FUZZ_SECONDS:-60}"
started=$SECONDS

echo "== build native-asan"
cmake --preset native-asan >/dev/null
cmake --build --preset native-asan -j2
echo "== test native-asan ($((SECONDS - started)) s)"
ctest --preset native-asan

echo "== build fuzz ($((SECONDS - started)) s)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2
echo "== replay the fuzz corpus and regression inputs"
ctest --preset fuzz

echo "== fuzz each target for ${fuzz_seconds} s ($((SECONDS - started)) s)"
fuzz_dir="$root/build/fuzz/tests/fuzz"
run_dir="$root/build/fuzz/fuzz-run"
rm -rf "$run_dir"
status=0
# fuzz TARGET SECONDS CORPUS-DIR [OPTIONS...]: starts one bounded run in the background.
fuzz() {
  local target=$1 seconds=$2 corpus=$3
  shift 3
  # A scratch copy: what the run adds never lands in the saved corpus.
  mkdir -p "$run_dir/$target/corpus" "$run_dir/$target/artifacts"
  cp "$corpus"/* "$run_dir/$target/corpus/"
  "$fuzz_dir/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$run_dir/$target/artifacts/" "$@" \
    "$run_dir/$target/corpus" >"$run_dir/$target.log" 2>&1 &
  pids+=($!)
  targets+=("$target")
}
# wait_all: collects the runs started since the last call.
wait_all() {
  local i target
  for i in "${!pids[@]}"; do
    target="${targets[$i]}"
    if wait "${pids[$i]}"; then
      grep -E "^(Done|stat::number_of_executed_units|stat::peak_rss_mb)" "$run_dir/$target.log" |
        sed "s/^/$target: /"
    else
      status=1
      echo "$target FAILED; the end of its log:"
      tail -n 60 "$run_dir/$target.log"
      echo "inputs that failed (add each to tests/fuzz/regressions/ once fixed):"
      ls -l "$run_dir/$target/artifacts/"
    fi
  done
  pids=()
  targets=()
}
pids=()
targets=()
for target in fuzz_mapped_image fuzz_import_walk; do
  fuzz "$target" "$fuzz_seconds" tests/fuzz/corpus -max_len=65536 -dict=tests/fuzz/pe.dict
done
wait_all
transfer_seconds=$((fuzz_seconds < 20 ? fuzz_seconds : 20))
echo "== fuzz fuzz_export_table and fuzz_import_thunks for ${transfer_seconds} s"
for target in fuzz_export_table fuzz_import_thunks; do
  fuzz "$target" "$transfer_seconds" tests/fuzz/corpus-functions -max_len=16384 \
    -dict=tests/fuzz/pe.dict
done
wait_all
echo "== fuzz fuzz_transfer_formats, fuzz_api_set_schema and fuzz_font_text for ${transfer_seconds} s"
fuzz fuzz_transfer_formats "$transfer_seconds" tests/fuzz/corpus-transfer -max_len=4096
fuzz fuzz_api_set_schema "$transfer_seconds" tests/fuzz/corpus-api-set -max_len=65536
fuzz fuzz_font_text "$transfer_seconds" tests/fuzz/corpus-font-text -max_len=512
wait_all
echo "== fuzz fuzz_manifest and fuzz_resource_directory for ${transfer_seconds} s"
fuzz fuzz_manifest "$transfer_seconds" tests/fuzz/corpus-manifest -max_len=8192 \
  -dict=tests/fuzz/manifest.dict
fuzz fuzz_resource_directory "$transfer_seconds" tests/fuzz/corpus-resource -max_len=16384 \
  -dict=tests/fuzz/pe.dict
wait_all
echo "== hardening took $((SECONDS - started)) s"
exit $status
