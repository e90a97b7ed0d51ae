#!/usr/bin/env bash
# Runs the libFuzzer targets of a CORVANE_FUZZ build one after another, each for a bounded
# time, starting from the committed seeds (fuzz/corpus/<target>) plus what earlier runs in
# the same build folder found (<build>/fuzz-corpus/<target>). Fails on the first crash,
# leak, timeout or broken property, and says how to reproduce it.
#
#   fuzz/run-fuzzers.sh [-t SECONDS] [-b BUILD_DIR] [TARGET...]
#
# -t  seconds per target (default 20); -b the fuzz build (default build-fuzz). Without
# TARGETs every target of fuzz/CMakeLists.txt runs. See docs/FUZZING.md.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
seconds=20
build="$root/build-fuzz"
while getopts "t:b:" option; do
  case $option in
    t) seconds=$OPTARG ;;
    b) build=$(cd "$OPTARG" && pwd) ;;
    *) sed -n '2,10p' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
if (($# > 0)); then
  targets=("$@")
else
  mapfile -t targets < <(sed -n 's/^corvane_fuzz_target(\([A-Za-z0-9]*\).*/\1/p' "$here/CMakeLists.txt")
fi

# The longest input each target gets: the store files are a few KiB, the reply reader
# repeats its segments itself, the rest read text a user types or a server sends.
max_len() {
  case $1 in
    RegistryStoreFuzz) echo 16384 ;;
    *) echo 4096 ;;
  esac
}

summary=()
for target in "${targets[@]}"; do
  binary="$build/bin/$target"
  [[ -x "$binary" ]] || { echo "no $binary: build the fuzz targets first (docs/FUZZING.md)" >&2; exit 2; }
  corpus="$build/fuzz-corpus/$target"
  artifacts="$build/fuzz-artifacts/$target/"
  log="$build/fuzz-logs/$target.log"
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$(max_len "$target")"
           -print_final_stats=1 -artifact_prefix="$artifacts")
  [[ -f "$here/dict/$target.dict" ]] && options+=(-dict="$here/dict/$target.dict")
  echo "== $target: ${seconds}s"
  if ! UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
       "$binary" "${options[@]}" "$corpus" "$here/corpus/$target" >"$log" 2>&1; then
    grep -E -A1 "property broken|ERROR: " "$log" | head -12 >&2 || true
    found=$(grep -o "Test unit written to .*" "$log" | sed 's/Test unit written to //' | tail -1)
    echo "FAILED: $target (whole log: $log)" >&2
    [[ -n "$found" ]] && echo "reproduce: $binary $found" >&2
    exit 1
  fi
  done_line=$(grep -E "^#[0-9]+[[:space:]]+DONE" "$log" | tail -1)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$done_line")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$done_line")
  summary+=("$(printf '%-20s %10s runs   cov: %-6s ft: %s' "$target" "$runs" "$cov" "$ft")")
done
printf '%s\n' "${summary[@]}"
