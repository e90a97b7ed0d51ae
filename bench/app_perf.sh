#!/usr/bin/env bash
# The window's goals: the settings store under the window's full workload, the program's
# start until its window is mapped, its idle memory, and the window's event loop during a
# large send. Prints a Markdown report on standard output (progress goes to standard error).
#
#   bench/app_perf.sh [-n REPEATS] [-p STORE_PROCESSES] [-s SIZE_MIB] [-b BUILD_DIR] [-o FILE]
#
# - Store: corvane-bench-store, STORE_PROCESSES times (default 5), each a fresh process
#   reporting medians of 21 timed runs (501 for one read and one write); the table gives the
#   median of those medians and their range.
# - Start: the real corvane on Xvfb (no window manager) with a store holding the full
#   workload, started REPEATS times (default 11, after one untimed start) by
#   corvane-bench-launch, which times fork/exec until the window is mapped and reads VmRSS
#   2 s later.
# - Responsiveness: corvane-bench-responsive, REPEATS times, each sending a SIZE_MIB (default
#   100) random attachment to bench/sink on 127.0.0.1 through the window (offscreen).
#
# Installs nothing itself except through tools/install-packages.sh; builds in BUILD_DIR
# (default build-perf; Release, as bench/compare.sh builds). Every server it starts (the
# sink, Xvfb) it stops by its process id; it talks to 127.0.0.1 only, Xvfb listens on no
# TCP port, every command is bounded by timeout, and the temporary folder goes on exit.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
repeats=11
store_runs=5
size_mib=100
build="$root/build-perf"
out_file=
while getopts "n:p:s:b:o:h" opt; do
  case $opt in
    n) repeats=$OPTARG ;;
    p) store_runs=$OPTARG ;;
    s) size_mib=$OPTARG ;;
    b) build=$OPTARG ;;
    o) out_file=$OPTARG ;;
    *) sed -n '2,10p' "${BASH_SOURCE[0]}" >&2; exit 2 ;;
  esac
done
[[ $repeats =~ ^[1-9][0-9]*$ && $store_runs =~ ^[1-9][0-9]*$ && $size_mib =~ ^[1-9][0-9]*$ ]] ||
  { echo "bad -n, -p or -s" >&2; exit 2; }

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$root/tools/install-packages.sh"
for tool in Xvfb timeout awk; do
  command -v "$tool" >/dev/null || { say "missing: $tool (see tools/debian-packages.txt)"; exit 1; }
done

say "Building (Release) in $build ..."
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >&2
cmake --build "$build" --target corvane corvane-bench-store corvane-bench-responsive \
  corvane-bench-sink >&2
have_launch=1
cmake --build "$build" --target corvane-bench-launch >&2 2>/dev/null || have_launch=0
bin="$build/bin"
[[ -x "$bin/corvane-bench-launch" ]] || have_launch=0

bench_workdir corvane-app-perf

# Median, min and max of the numbers on standard input: "median min max count".
stats() {
  sort -g | awk '{ v[NR] = $1 } END {
    if (NR == 0) { print "- - - 0"; exit }
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%s %s %s %d\n", m, v[1], v[NR], NR }'
}
# "yes"/"no": whether A < B.
below() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b) ? "**met**" : "**missed**" }'; }
fmt() { awk -v v="$1" -v d="${2:-1}" 'BEGIN { printf "%.*f", d, v }'; }

load_before=$(cut -d' ' -f1-3 /proc/loadavg)

# ---- the settings store
say "Store: $store_runs runs of corvane-bench-store ..."
: >"$work/store.txt"
for ((i = 1; i <= store_runs; i++)); do
  QT_QPA_PLATFORM=offscreen timeout 300 "$bin/corvane-bench-store" 2>>"$work/store.log" \
    >>"$work/store.txt"
done
store_stat() { # NAME -> "median min max count" of the runs' medians
  awk -v n="$1" '$1 == n { print $2 }' "$work/store.txt" | stats
}

# ---- the program's start and idle memory
launch_note=
if ((have_launch)); then
  say "Start: $repeats starts of corvane on Xvfb ..."
  "$bin/corvane-bench-store" --prepare "$work/config" 2>>"$work/store.log"
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$work/display" 2>"$work/xvfb.log" &
  bench_track "$!"
  for ((i = 0; i < 100; i++)); do
    [[ -s "$work/display" ]] && break
    sleep 0.05
  done
  [[ -s "$work/display" ]] || { say "Xvfb did not start"; exit 1; }
  display=":$(<"$work/display")"
  : >"$work/launch.txt"
  for ((i = 0; i <= repeats; i++)); do
    line=$(DISPLAY=$display XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb \
      timeout 60 "$bin/corvane-bench-launch" --settle 2 --timeout 20 -- "$bin/corvane" \
      2>>"$work/launch.log")
    ((i == 0)) || echo "$line" >>"$work/launch.txt"  # the first start is not timed
  done
else
  launch_note="corvane-bench-launch was not built (no XCB headers): start and memory not measured"
  say "$launch_note"
fi

# ---- the event loop during a send
say "Responsiveness: $repeats sends of a ${size_mib} MiB attachment through the window ..."
head -c "$((size_mib * 1024 * 1024))" /dev/urandom >"$work/attachment.bin"
"$bin/corvane-bench-sink" --port-file "$work/sink.port" --report "$work/sink.report" \
  --idle-timeout 900 --read-timeout 120 2>>"$work/sink.log" &
bench_track "$!"
for ((i = 0; i < 100; i++)); do
  [[ -s "$work/sink.port" ]] && break
  sleep 0.05
done
[[ -s "$work/sink.port" ]] || { say "the sink did not start"; exit 1; }
port=$(<"$work/sink.port")
for ((i = 1; i <= repeats; i++)); do
  QT_QPA_PLATFORM=offscreen timeout 180 "$bin/corvane-bench-responsive" --port "$port" \
    --attach "$work/attachment.bin" --histories >"$work/resp.$i.txt" 2>>"$work/resp.log" ||
    { say "send $i failed: $(tail -1 "$work/resp.$i.txt")"; exit 1; }
done
# Every message arrived with the same size.
sizes=$(awk '{ print $4 }' "$work/sink.report" | sort -u | wc -l)
[[ $(wc -l <"$work/sink.report") -eq $repeats && $sizes -eq 1 ]] ||
  { say "the sink did not get $repeats whole messages"; exit 1; }
resp_stat() { cat "$work"/resp.*.txt | awk -v n="$1" '$1 == n { print $2 }' | stats; }

load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# ---- the report
report() {
  echo "## Window and settings store ($(date -u '+%Y-%m-%d %H:%M') UTC)"
  echo
  echo "Machine: $(nproc) cores, $(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)," \
    "$(awk '/MemTotal/ { printf "%d MiB", $2 / 1024 }' /proc/meminfo), kernel $(uname -r)," \
    "store on $(df -T "$work" | awk 'NR == 2 { print $2 }');" \
    "load average $load_before before, $load_after after."
  echo
  echo "| what | median | min–max | runs | goal | verdict |"
  echo "|---|---:|---:|---:|---|---|"
  local name label goal limit m lo hi n
  while IFS='|' read -r name label goal limit; do
    read -r m lo hi n < <(store_stat "$name")
    if [[ -n $limit ]]; then verdict=$(below "$m" "$limit"); else verdict=; fi
    echo "| $label | $(fmt "$m" 2) ms | $(fmt "$lo" 2)–$(fmt "$hi" 2) ms | $n × 21 | $goal | $verdict |"
  done <<'EOF'
startup-read-fresh-connection|start-up read (FormCreate), store opened afresh|< 15 ms|15
startup-read|start-up read (FormCreate), store already open|||
close-write|close-time write (closeEvent → FormClose), all durable|< 150 ms|150
EOF
  while IFS='|' read -r name label; do
    read -r m lo hi n < <(store_stat "$name")
    echo "| $label | $(fmt "$(awk -v v="$m" 'BEGIN { print v * 1000 }')" 1) µs" \
      "| $(fmt "$(awk -v v="$lo" 'BEGIN { print v * 1000 }')" 1)–$(fmt "$(awk -v v="$hi" 'BEGIN { print v * 1000 }')" 1) µs" \
      "| $n × 501 | | |"
  done <<'EOF'
read-integer|one `TMyReg::ReadInteger`
write-integer|one `TMyReg::WriteInteger` (durable)
EOF
  if ((have_launch)); then
    read -r m lo hi n < <(awk '{ print $2 }' "$work/launch.txt" | stats)
    echo "| start of \`corvane\` until its window is mapped (Xvfb, full store) | $(fmt "$m") ms | $(fmt "$lo")–$(fmt "$hi") ms | $n | < 300 ms | $(below "$m" 300) |"
    read -r m lo hi n < <(awk '{ print $4 / 1024 }' "$work/launch.txt" | stats)
    echo "| resident memory (VmRSS) 2 s after the window is mapped | $(fmt "$m") MiB | $(fmt "$lo")–$(fmt "$hi") MiB | $n | < 80 MB (76.3 MiB) | $(below "$m" 76.29) |"
  else
    echo "| start and idle memory | not measured | | | | $launch_note |"
  fi
  read -r m lo hi n < <(resp_stat queued_max_wait)
  local worst=$hi
  echo "| longest wait of a queued call during the send (${size_mib} MiB) | $(fmt "$m") ms | $(fmt "$lo")–$(fmt "$hi") ms | $n | every one < 50 ms | $(below "$worst" 50) (worst run) |"
  read -r m lo hi n < <(resp_stat timer_max_gap)
  echo "| longest interval between ticks of a 10 ms timer during the send | $(fmt "$m") ms | $(fmt "$lo")–$(fmt "$hi") ms | $n | | |"
  read -r m lo hi n < <(resp_stat queued_max_wait_before_send)
  echo "| … of which before the worker starts (histories stored, message filled) | $(fmt "$m") ms | $(fmt "$lo")–$(fmt "$hi") ms | $n | | |"
  read -r m lo hi n < <(resp_stat queued_max_wait_during_send)
  echo "| … while the worker encodes and sends | $(fmt "$m") ms | $(fmt "$lo")–$(fmt "$hi") ms | $n | | |"
  read -r m lo hi n < <(resp_stat queued_p99_wait)
  echo "| 99th percentile of the queued calls' waits | $(fmt "$m") ms | $(fmt "$lo")–$(fmt "$hi") ms | $n | | |"
  read -r m lo hi n < <(resp_stat click_ms)
  echo "| the whole click (StampImageClick), for scale | $(fmt "$m") ms | $(fmt "$lo")–$(fmt "$hi") ms | $n | | |"
  echo
  echo "Queued calls over 50 ms, all runs: $(cat "$work"/resp.*.txt | awk '$1 == "queued_waits_over_50" { s += $2 } END { print s + 0 }')" \
    "of $(cat "$work"/resp.*.txt | awk '$1 == "queued_waits" { s += $2 } END { print s + 0 }');" \
    "each message reached the sink whole ($(awk 'NR == 1 { print $4 }' "$work/sink.report") bytes)."
}

if [[ -n $out_file ]]; then
  report | tee "$out_file"
else
  report
fi
