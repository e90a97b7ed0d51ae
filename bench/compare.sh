#!/usr/bin/env bash
# Side-by-side comparison: corvane-send and its peers each send one message with a random
# attachment (100 MiB unless -s says otherwise) over loopback to bench/sink, our sink that
# reads the data in 1 MiB blocks. Prints a Markdown report on standard output (progress goes
# to standard error).
#
#   bench/compare.sh [-n REPEATS] [-s SIZE_MIB] [-o FILE]
#
# For each case: one untimed run to a second sink that saves the data, checked with
# Python's email package (the attachment must come back byte for byte), then REPEATS timed
# runs (default 7), interleaved round by round in a shuffled order so a burst of load
# elsewhere, or the memory a previous case just freed, hits every case alike. Wall time is
# taken around the whole process with bash's EPOCHREALTIME (it includes starting the
# /usr/bin/time and timeout wrappers, about a millisecond); peak resident memory is
# /usr/bin/time's "maximum resident set size". The table shows medians. Then the encoder
# alone (corvane-bench-base64, Google Benchmark) on the same file, and the goals.
#
# Installs nothing itself except through tools/install-packages.sh; builds in build-bench
# (Release). Every server it starts it stops by its process id, talks to 127.0.0.1 only,
# bounds every wait, and removes its temporary folder.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
repeats=7
size_mib=100
out_file=
while getopts "n:s:o:h" opt; do
  case $opt in
    n) repeats=$OPTARG ;;
    s) size_mib=$OPTARG ;;
    o) out_file=$OPTARG ;;
    *) sed -n '2,10p' "${BASH_SOURCE[0]}" >&2; exit 2 ;;
  esac
done
[[ $repeats =~ ^[1-9][0-9]*$ && $size_mib =~ ^[1-9][0-9]*$ ]] || { echo "bad -n or -s" >&2; exit 2; }

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$root/tools/install-packages.sh"
for tool in curl msmtp swaks base64 /usr/bin/time /usr/bin/python3 timeout; do
  command -v "$tool" >/dev/null || { say "missing: $tool (see tools/debian-packages.txt)"; exit 1; }
done

build="$root/build-bench"
say "Building (Release) in $build ..."
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >&2
cmake --build "$build" --target corvane-send corvane-bench-sink corvane-bench-base64 >&2
bin="$build/bin"
mime_tool="$root/bench/mime_tool.py"

bench_workdir corvane-compare

# Starts a sink; sets sink_port. Extra arguments go to the sink.
start_sink() {
  local name=$1; shift
  "$bin/corvane-bench-sink" --port-file "$work/$name.port" --report "$work/$name.report" \
    --idle-timeout 900 --read-timeout 120 "$@" 2>>"$work/$name.log" &
  bench_track "$!"
  local i
  for ((i = 0; i < 100; i++)); do
    [[ -s "$work/$name.port" ]] && break
    sleep 0.05
  done
  [[ -s "$work/$name.port" ]] || { say "the sink did not start"; exit 1; }
  sink_port=$(<"$work/$name.port")
}

attachment="$work/attachment.bin"
say "Making a ${size_mib} MiB random attachment ..."
head -c "$((size_mib * 1024 * 1024))" /dev/urandom >"$attachment"
printf 'hello\n' >"$work/text.txt"
/usr/bin/python3 "$mime_tool" compose "$attachment" "$work/composed.eml"

start_sink check --save "$work/received.eml"
check_port=$sink_port
start_sink timed
timed_port=$sink_port

from=a@example.org
to=b@example.org
# Case names, in table order, with their labels in the table.
cases=(corvane-send curl-T curl-F msmtp python swaks)
declare -A label=(
  [corvane-send]='`corvane-send` composing and sending'
  [curl-T]='curl sending the composed message (`-T`)'
  [curl-F]='curl composing (`-F ...;encoder=base64`)'
  [msmtp]='msmtp sending the composed message'
  [python]='Python `email` + `smtplib` composing and sending'
  [swaks]='swaks composing (`--attach`)'
)
# Sets cmd (the command line) and cmd_stdin for CASE sending to PORT.
case_command() {
  local port=$2
  cmd_stdin=/dev/null
  case $1 in
    corvane-send)
      cmd=("$bin/corvane-send" --quiet --server "127.0.0.1:$port" --from "$from" --to "$to"
           --subject S --attach "$attachment")
      cmd_stdin="$work/text.txt" ;;
    curl-T)
      cmd=(curl -sS --url "smtp://127.0.0.1:$port" --mail-from "$from" --mail-rcpt "$to"
           -T "$work/composed.eml") ;;
    curl-F)
      cmd=(curl -sS --url "smtp://127.0.0.1:$port" --mail-from "$from" --mail-rcpt "$to"
           -H "Subject: S" -H "From: $from" -H "To: $to" -F '=hello;type=text/plain'
           -F "file=@$attachment;type=application/octet-stream;encoder=base64") ;;
    msmtp)
      cmd=(msmtp --host=127.0.0.1 --port="$port" --auth=off --tls=off --from="$from" "$to")
      cmd_stdin="$work/composed.eml" ;;
    python)
      cmd=(/usr/bin/python3 "$mime_tool" send 127.0.0.1 "$port" "$attachment") ;;
    swaks)
      cmd=(swaks --server 127.0.0.1 --port "$port" --helo localhost --from "$from" --to "$to"
           --header "Subject: S" --body hello --attach "@$attachment" --suppress-data --silent 2) ;;
    base64)
      cmd=(base64 -w 76 "$attachment") ;;
  esac
}

last_bytes() { tail -n 1 "$1" | awk '{print $4}'; }
report_lines() { [[ -f "$1" ]] && wc -l <"$1" || echo 0; }

# 1. Each peer once, to the saving sink: the attachment must arrive whole.
declare -A expect_bytes
for c in "${cases[@]}"; do
  say "Checking $c ..."
  before=$(report_lines "$work/check.report")
  case_command "$c" "$check_port"
  timeout -k 5 600 "${cmd[@]}" <"$cmd_stdin" >"$work/$c.out" 2>&1 ||
    { say "$c failed:"; cat "$work/$c.out" >&2; exit 1; }
  [[ $(report_lines "$work/check.report") -eq $((before + 1)) ]] || { say "$c: the sink got no message"; exit 1; }
  expect_bytes[$c]=$(last_bytes "$work/check.report")
  verdict=$(/usr/bin/python3 "$mime_tool" verify "$work/received.eml" "$attachment") ||
    { say "$c: $verdict"; exit 1; }
  say "  $verdict (${expect_bytes[$c]} bytes of data)"
  if [[ $c == corvane-send ]]; then
    send_lines=$(tr -dc '\n' <"$work/received.eml" | wc -c)
  fi
done
rm -f "$work/received.eml"

# Are corvane-send's writes buffered? Count its socket writes once, under strace.
send_calls=
if command -v strace >/dev/null; then
  case_command corvane-send "$check_port"
  if timeout -k 5 600 strace -f -qq -c -e trace=sendto,sendmsg,write,writev -o "$work/strace.txt" \
    "${cmd[@]}" <"$cmd_stdin" >/dev/null 2>&1; then
    # strace -c columns: % time, seconds, usecs/call, calls, [errors,] syscall.
    send_calls=$(awk '$NF ~ /^(sendto|sendmsg|write|writev)$/ { n += $4 } END { print n + 0 }' \
      "$work/strace.txt")
  else
    say "corvane-send under strace failed (ptrace not allowed?); socket writes not counted"
  fi
fi

load_before=$(cut -d' ' -f1-3 /proc/loadavg)

# 2. Timed rounds.
declare -A times rss
for ((r = 1; r <= repeats; r++)); do
  # A fresh order each round, so that no case always follows the same one (swaks and
  # Python leave gigabytes of freed memory behind them, which the next process may pay for).
  mapfile -t order < <(printf '%s\n' "${cases[@]}" base64 | shuf)
  say "round $r order: ${order[*]}"
  for c in "${order[@]}"; do
    case_command "$c" "$timed_port"
    before=$(report_lines "$work/timed.report")
    output=/dev/null  # base64's output
    [[ $c == base64 ]] || output="$work/$c.out"
    start=$EPOCHREALTIME
    timeout -k 5 600 /usr/bin/time -f '%M' -o "$work/time.txt" "${cmd[@]}" <"$cmd_stdin" >"$output" 2>&1 ||
      { say "$c failed in round $r:"; [[ $output == /dev/null ]] || cat "$output" >&2; exit 1; }
    end=$EPOCHREALTIME
    if [[ $c != base64 ]]; then
      [[ $(report_lines "$work/timed.report") -eq $((before + 1)) ]] || { say "$c: no message arrived"; exit 1; }
      got=$(last_bytes "$work/timed.report")
      # Boundaries and Message-IDs may differ in length from run to run, nothing more.
      diff=$((got - expect_bytes[$c]))
      ((diff > -200 && diff < 200)) || { say "$c: $got bytes arrived, expected about ${expect_bytes[$c]}"; exit 1; }
    fi
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')
    times[$c]+="$t "
    rss[$c]+="$(tail -n 1 "$work/time.txt") "
    say "round $r/$repeats $c: ${t} s"
  done
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# 3. Our encoder alone, on the same file.
say "Running corvane-bench-base64 ..."
CORVANE_BENCH_FILE="$attachment" timeout -k 5 900 "$bin/corvane-bench-base64" \
  --benchmark_repetitions="$repeats" --benchmark_report_aggregates_only=true \
  --benchmark_out="$work/gbench.json" --benchmark_out_format=json >/dev/null 2>"$work/gbench.log" ||
  { say "corvane-bench-base64 failed:"; cat "$work/gbench.log" >&2; exit 1; }
# Name and MiB/s of each benchmark: the median of the repetitions (a single run has none).
/usr/bin/python3 - "$work/gbench.json" >"$work/gbench.tsv" <<'EOF'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
wanted = "aggregate" if any(b.get("aggregate_name") == "median" for b in runs) else "iteration"
for b in runs:
    if b.get("run_type") == wanted and (wanted == "iteration" or b["aggregate_name"] == "median"):
        print(f'{b["run_name"].replace("/real_time", "")}\t{b["bytes_per_second"] / 2**20:.1f}')
EOF

# 4. The report.
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
minmax() { tr ' ' '\n' | grep -v '^$' | sort -g | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.3f–%.3f", lo, hi }'; }

size_bytes=$((size_mib * 1024 * 1024))
base64_bytes=$(((size_bytes + 2) / 3 * 4))
{
  printf '## Measured %s on %s\n\n' "$(date -u '+%Y-%m-%d %H:%M UTC')" "$(hostname)"
  printf -- '- Machine: %s cores, %s, %s MiB memory; load average before the timed rounds %s, after %s\n' \
    "$(nproc)" "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')" \
    "$(($(awk '/MemTotal/ {print $2}' /proc/meminfo) / 1024))" "$load_before" "$load_after"
  printf -- '- Transparent huge pages: %s; Base64 encoders on this processor: %s (the last one is used)\n' \
    "$(cat /sys/kernel/mm/transparent_hugepage/enabled 2>/dev/null || echo unknown)" \
    "$(awk -F '\t' '$1 ~ /^EncodeBlock\// { sub(/^EncodeBlock\//, "", $1); printf "%s%s", sep, $1; sep = ", " }' "$work/gbench.tsv")"
  printf -- '- Attachment: %s MiB of random bytes (Base64 %s bytes); %s timed runs per case, medians\n\n' \
    "$size_mib" "$base64_bytes" "$repeats"
  printf '| case | median wall time (s) | min–max (s) | MiB/s of attachment | peak RSS (MiB) | time / curl -T |\n'
  printf '|---|---:|---:|---:|---:|---:|\n'
  ref=$(median <<<"${times[curl-T]}")
  for c in "${cases[@]}"; do
    m=$(median <<<"${times[$c]}")
    printf '| %s | %.3f | %s | %.0f | %.1f | %.2f |\n' "${label[$c]}" "$m" "$(minmax <<<"${times[$c]}")" \
      "$(awk -v s="$size_mib" -v t="$m" 'BEGIN { print s / t }')" \
      "$(awk -v k="$(median <<<"${rss[$c]}")" 'BEGIN { print k / 1024 }')" \
      "$(awk -v a="$m" -v b="$ref" 'BEGIN { print a / b }')"
  done
  m=$(median <<<"${times[base64]}")
  printf '| coreutils `base64 -w 76` encoding the file to /dev/null | %.3f | %s | %.0f | %.1f | |\n' \
    "$m" "$(minmax <<<"${times[base64]}")" "$(awk -v s="$size_mib" -v t="$m" 'BEGIN { print s / t }')" \
    "$(awk -v k="$(median <<<"${rss[base64]}")" 'BEGIN { print k / 1024 }')"
  while IFS=$'\t' read -r name rate; do
    where="in memory"
    [[ $name == EncodeAttachment ]] && where="file in the page cache to line list"
    printf '| our encoder, Google Benchmark `%s` (%s) | %.3f | | %.0f | | |\n' "$name" "$where" \
      "$(awk -v s="$size_mib" -v r="$rate" 'BEGIN { print s / r }')" "$rate"
  done <"$work/gbench.tsv"
  printf '\n'

  # The goals of issue 2, section 5.
  send=$(median <<<"${times[corvane-send]}")
  send_rss_kib=$(median <<<"${rss[corvane-send]}")
  coreutils_rate=$(awk -v s="$size_mib" -v t="$(median <<<"${times[base64]}")" 'BEGIN { print s / t }')
  ours_rate=$(awk -F '\t' '$1 ~ /^EncodeLines\// && $2 > best { best = $2 } END { printf "%.0f", best }' \
    "$work/gbench.tsv")
  limit_mib=$(awk -v b="$base64_bytes" 'BEGIN { printf "%.1f", 1.5 * b / 1048576 + 32 }')
  verdict() { awk "BEGIN { exit !($1) }" && echo met || echo "NOT met"; }
  buffered="not measured (no strace)"
  if [[ -n $send_calls ]]; then
    buffered="$send_calls socket writes for $send_lines lines ($(awk -v b="${expect_bytes[corvane-send]}" -v n="$send_calls" 'BEGIN { printf "%.0f", b / n / 1024 }') KiB each on average)"
  fi
  printf '| goal | measured | limit | verdict |\n|---|---:|---:|---|\n'
  printf '| corvane-send time within 1.5 × curl -T | %.3f s (%.2f ×) | %.3f s | %s |\n' "$send" \
    "$(awk -v a="$send" -v b="$ref" 'BEGIN { print a / b }')" "$(awk -v b="$ref" 'BEGIN { print 1.5 * b }')" \
    "$(verdict "$send <= 1.5 * $ref")"
  printf '| corvane-send peak RSS under 1.5 × Base64 size + 32 MiB | %.1f MiB | %s MiB | %s |\n' \
    "$(awk -v k="$send_rss_kib" 'BEGIN { print k / 1024 }')" "$limit_mib" \
    "$(verdict "$send_rss_kib / 1024 < $limit_mib")"
  printf '| encoder (EncodeLines, fastest path) at least 2 × base64 -w 76 | %s MiB/s (%.2f ×) | %.0f MiB/s | %s |\n' \
    "$ours_rate" "$(awk -v a="$ours_rate" -v b="$coreutils_rate" 'BEGIN { print a / b }')" \
    "$(awk -v b="$coreutils_rate" 'BEGIN { print 2 * b }')" "$(verdict "$ours_rate >= 2 * $coreutils_rate")"
  printf '| corvane-send writes to the socket buffered | %s | far fewer writes than lines | %s |\n' "$buffered" \
    "$([[ -n $send_calls ]] && verdict "$send_calls * 100 < $send_lines" || echo "not measured")"
} | if [[ -n $out_file ]]; then tee "$out_file"; else cat; fi
