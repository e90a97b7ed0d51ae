#!/usr/bin/env bash
# Side-by-side comparison: corvane-send and its peers each send one message with a random
# attachment (100 MiB unless -s says otherwise) over loopback to bench/sink, our sink that
# reads the data in 1 MiB blocks; corvane-send and curl also send it over STARTTLS with
# sign-in, to the same sink. Prints a Markdown report on standard output (progress goes to
# standard error).
#
#   bench/compare.sh [-n REPEATS] [-s SIZE_MIB] [-o FILE] [-c CASES]
#
# -c names the peers to run (comma-separated: curl-F, msmtp, python, swaks), e.g. none but
# the defaults for a 1 GiB file (-c curl-T), which the composing peers could not hold;
# corvane-send and curl -T, plain and over STARTTLS, always run: the goals compare them.
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
# Both sinks offer STARTTLS with a certificate made for this run by a throw-away CA, which
# the TLS clients are told to trust (SSL_CERT_FILE for corvane-send, --cacert for curl; no
# check is turned off), and after it AUTH PLAIN and LOGIN for a user and password made for
# this run. The plain cases ignore the offer; each message's report line says whether it
# came over TLS and signed in, and a case that should have and did not fails the run.
#
# Installs nothing itself except through tools/install-packages.sh; builds in build-bench
# (Release). Every server it starts it stops by its process id, talks to 127.0.0.1 only,
# bounds every wait, and removes its temporary folder.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
bench_options 7 100 "$@"

bench_tools curl msmtp swaks base64 openssl /usr/bin/time /usr/bin/python3 timeout
bench_build corvane-send corvane-bench-sink corvane-bench-base64
mime_tool="$root/bench/mime_tool.py"

bench_workdir corvane-compare
bench_make_certificates
tls_options=(--tls-certificate "$tls_dir/server.pem" --tls-key "$tls_dir/server.key"
             --auth-user "$bench_user" --auth-password-file "$work/password")

attachment="$work/attachment.bin"
say "Making a ${size_mib} MiB random attachment ..."
head -c "$((size_mib * 1024 * 1024))" /dev/urandom >"$attachment"
printf 'hello\n' >"$work/text.txt"
/usr/bin/python3 "$mime_tool" compose "$attachment" "$work/composed.eml"

bench_start_sink check --save "$work/received.eml" "${tls_options[@]}"
declare -A sink_ports=([check]=$sink_port)
bench_start_sink timed "${tls_options[@]}"
sink_ports[timed]=$sink_port

from=a@example.org
to=b@example.org
# Case names, in table order, with their labels in the table.
cases=(corvane-send curl-T curl-F msmtp python swaks corvane-send-starttls curl-T-starttls)
if [[ -n $only_cases ]]; then
  wanted=",$only_cases,corvane-send,curl-T,corvane-send-starttls,curl-T-starttls,"
  for c in "${!cases[@]}"; do
    [[ $wanted == *",${cases[c]},"* ]] || unset 'cases[c]'
  done
  cases=("${cases[@]}")
fi
declare -A label=(
  [corvane-send]='`corvane-send` composing and sending'
  [curl-T]='curl sending the composed message (`-T`)'
  [curl-F]='curl composing (`-F ...;encoder=base64`)'
  [msmtp]='msmtp sending the composed message'
  [python]='Python `email` + `smtplib` composing and sending'
  [swaks]='swaks composing (`--attach`)'
  [corvane-send-starttls]='`corvane-send --security starttls --user …` composing and sending'
  [curl-T-starttls]='curl sending the composed message (`--ssl-reqd --netrc-file … -T`)'
)
# What the sink must report for a message: plain, or over TLS and signed in.
plain_arrival='^message [0-9]+ bytes [0-9]+$'
tls_arrival="^message [0-9]+ bytes [0-9]+ tls TLSv1\.[23] [^ ]+ user $bench_user\$"
# Sets cmd and cmd_stdin for CASE sending to the sink for PURPOSE (check or timed).
case_command() {
  local port=${sink_ports[$2]}
  cmd_sink=$2
  cmd_arrival=$plain_arrival
  case $1 in
    corvane-send)
      cmd=("$bin/corvane-send" --quiet --no-archive --server "127.0.0.1:$port" --from "$from" --to "$to"
           --subject S --attach "$attachment")
      cmd_stdin="$work/text.txt" ;;
    corvane-send-starttls)
      cmd=(env "SSL_CERT_FILE=$tls_dir/ca.pem" "$bin/corvane-send" --quiet --no-archive
           --server "127.0.0.1:$port" --security starttls --user "$bench_user"
           --password-file "$work/password" --from "$from" --to "$to" --subject S
           --attach "$attachment")
      cmd_stdin="$work/text.txt"
      cmd_arrival=$tls_arrival ;;
    curl-T)
      cmd=(curl -sS --url "smtp://127.0.0.1:$port" --mail-from "$from" --mail-rcpt "$to"
           -T "$work/composed.eml") ;;
    curl-T-starttls)
      cmd=(curl -sS --url "smtp://127.0.0.1:$port" --ssl-reqd --cacert "$tls_dir/ca.pem"
           --netrc-file "$work/netrc" --mail-from "$from" --mail-rcpt "$to"
           -T "$work/composed.eml")
      cmd_arrival=$tls_arrival ;;
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
      cmd=(base64 -w 76 "$attachment")
      cmd_sink=
      cmd_output=/dev/null ;;
  esac
}

# 1. Each peer once, to the saving sink: the attachment must arrive whole.
declare -A expect_bytes
for c in "${cases[@]}"; do
  say "Checking $c ..."
  bench_run_case "$c" check
  expect_bytes[$c]=$case_bytes
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
  case_command corvane-send check
  if timeout -k 5 600 strace -f -qq -c -e trace=sendto,sendmsg,write,writev,sendfile -o "$work/strace.txt" \
    "${cmd[@]}" <"$cmd_stdin" >/dev/null 2>&1; then
    # strace -c columns: % time, seconds, usecs/call, calls, [errors,] syscall.
    send_calls=$(awk '$NF ~ /^(sendto|sendmsg|write|writev|sendfile)$/ { n += $4 } END { print n + 0 }' \
      "$work/strace.txt")
  else
    say "corvane-send under strace failed (ptrace not allowed?); socket writes not counted"
  fi
fi

# 2. Timed rounds (swaks and Python leave gigabytes of freed memory behind them, which the
# next process may pay for: hence the shuffled order).
declare -A times rss
bench_timed_rounds "$repeats" "${cases[@]}" base64

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

size_bytes=$((size_mib * 1024 * 1024))
base64_bytes=$(((size_bytes + 2) / 3 * 4))
tls_line=$(grep -m1 ' tls ' "$work/timed.report" | sed 's/.* tls //')
{
  bench_report_heading
  printf -- '- Transparent huge pages: %s; Base64 encoders on this processor: %s (the last one is used)\n' \
    "$(cat /sys/kernel/mm/transparent_hugepage/enabled 2>/dev/null || echo unknown)" \
    "$(awk -F '\t' '$1 ~ /^EncodeBlock\// { sub(/^EncodeBlock\//, "", $1); printf "%s%s", sep, $1; sep = ", " }' "$work/gbench.tsv")"
  printf -- '- Attachment: %s MiB of random bytes (Base64 %s bytes); %s timed runs per case, medians\n' \
    "$size_mib" "$base64_bytes" "$repeats"
  printf -- '- Sink: offers STARTTLS (EC P-256 certificate from a CA made for the run), then AUTH PLAIN LOGIN; the STARTTLS cases negotiated %s (%s), the others stayed plain\n\n' \
    "$(cut -d' ' -f1-2 <<<"$tls_line")" "$(awk '{ print ($3 == "user") ? "signed in as " $4 : "no sign-in" }' <<<"$tls_line")"
  printf '| case | median wall time (s) | min–max (s) | MiB/s of attachment | peak RSS (MiB) | time / curl -T (STARTTLS rows: / curl over STARTTLS) |\n'
  printf '|---|---:|---:|---:|---:|---:|\n'
  ref=$(bench_median <<<"${times[curl-T]}")
  tls_ref=$(bench_median <<<"${times[curl-T-starttls]}")
  for c in "${cases[@]}"; do
    m=$(bench_median <<<"${times[$c]}")
    r=$ref
    [[ $c == *-starttls ]] && r=$tls_ref
    printf '| %s | %.3f | %s | %.0f | %.1f | %.2f |\n' "${label[$c]}" "$m" "$(bench_minmax <<<"${times[$c]}")" \
      "$(awk -v s="$size_mib" -v t="$m" 'BEGIN { print s / t }')" \
      "$(awk -v k="$(bench_median <<<"${rss[$c]}")" 'BEGIN { print k / 1024 }')" "$(bench_ratio "$m" "$r")"
  done
  m=$(bench_median <<<"${times[base64]}")
  printf '| coreutils `base64 -w 76` encoding the file to /dev/null | %.3f | %s | %.0f | %.1f | |\n' \
    "$m" "$(bench_minmax <<<"${times[base64]}")" "$(awk -v s="$size_mib" -v t="$m" 'BEGIN { print s / t }')" \
    "$(awk -v k="$(bench_median <<<"${rss[base64]}")" 'BEGIN { print k / 1024 }')"
  while IFS=$'\t' read -r name rate; do
    where="in memory"
    [[ $name == EncodeAttachment ]] && where="file in the page cache to a spool file"
    printf '| our encoder, Google Benchmark `%s` (%s) | %.3f | | %.0f | | |\n' "$name" "$where" \
      "$(awk -v s="$size_mib" -v r="$rate" 'BEGIN { print s / r }')" "$rate"
  done <"$work/gbench.tsv"
  printf '\n'

  # The goals: as fast as curl sending the composed message, plain and over STARTTLS, in
  # little memory whatever the attachment's size (48 MiB up to 100 MiB, 64 MiB beyond).
  send=$(bench_median <<<"${times[corvane-send]}")
  send_rss_kib=$(bench_median <<<"${rss[corvane-send]}")
  tls_send=$(bench_median <<<"${times[corvane-send-starttls]}")
  tls_rss_kib=$(bench_median <<<"${rss[corvane-send-starttls]}")
  coreutils_rate=$(awk -v s="$size_mib" -v t="$(bench_median <<<"${times[base64]}")" 'BEGIN { print s / t }')
  ours_rate=$(awk -F '\t' '$1 ~ /^EncodeLines\// && $2 > best { best = $2 } END { printf "%.0f", best }' \
    "$work/gbench.tsv")
  limit_mib=$((size_mib > 100 ? 64 : 48))
  buffered="not measured (no strace)"
  if [[ -n $send_calls ]]; then
    buffered="$send_calls socket writes for $send_lines lines ($(awk -v b="${expect_bytes[corvane-send]}" -v n="$send_calls" 'BEGIN { printf "%.0f", b / n / 1024 }') KiB each on average)"
  fi
  printf '| goal | measured | limit | verdict |\n|---|---:|---:|---|\n'
  printf '| corvane-send time at most 1.0 × curl -T | %.3f s (%.2f ×) | %.3f s | %s |\n' "$send" \
    "$(bench_ratio "$send" "$ref")" "$ref" "$(bench_verdict "$send <= $ref")"
  printf '| corvane-send over STARTTLS with sign-in at most 1.0 × curl --ssl-reqd -T | %.3f s (%.2f ×) | %.3f s | %s |\n' \
    "$tls_send" "$(bench_ratio "$tls_send" "$tls_ref")" "$tls_ref" "$(bench_verdict "$tls_send <= $tls_ref")"
  printf '| corvane-send peak RSS, plain / STARTTLS | %.1f / %.1f MiB | %s MiB | %s |\n' \
    "$(awk -v k="$send_rss_kib" 'BEGIN { print k / 1024 }')" "$(awk -v k="$tls_rss_kib" 'BEGIN { print k / 1024 }')" \
    "$limit_mib" "$(bench_verdict "$send_rss_kib / 1024 <= $limit_mib && $tls_rss_kib / 1024 <= $limit_mib")"
  printf '| encoder (EncodeLines, fastest path) at least 2 × base64 -w 76 | %s MiB/s (%.2f ×) | %.0f MiB/s | %s |\n' \
    "$ours_rate" "$(bench_ratio "$ours_rate" "$coreutils_rate")" \
    "$(awk -v b="$coreutils_rate" 'BEGIN { print 2 * b }')" "$(bench_verdict "$ours_rate >= 2 * $coreutils_rate")"
  printf '| corvane-send writes to the socket in large blocks (sendfile counted) | %s | far fewer writes than lines | %s |\n' "$buffered" \
    "$([[ -n $send_calls ]] && bench_verdict "$send_calls * 100 < $send_lines" || echo "not measured")"
} | if [[ -n $out_file ]]; then tee "$out_file"; else cat; fi
