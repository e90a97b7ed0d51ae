# Shared by the benchmark scripts (sourced, not run): messages, a temporary work folder, and
# the processes a script starts, all ended by their ids and removed when the script exits.

say() { printf '%s\n' "$*" >&2; }

# Makes $work, a fresh folder named after PREFIX, and arranges the clean-up.
bench_workdir() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  bench_pids=()
  trap bench_cleanup EXIT
  trap 'exit 130' INT TERM
}

# Remembers a started process (by id) so that the clean-up ends it.
bench_track() { bench_pids+=("$1"); }

bench_cleanup() {
  local pid
  for pid in "${bench_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
