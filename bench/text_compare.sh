#!/usr/bin/env bash
# Side-by-side comparison for Unicode text: corvane-send composes and sends a message whose
# body is 10 MiB (unless -s says otherwise) of UTF-8 text in mixed scripts, against Python's
# email package + smtplib composing the same text and curl uploading corvane-send's own
# message already composed, all over loopback to bench/sink. Prints a Markdown report on
# standard output (progress goes to standard error).
#
#   bench/text_compare.sh [-n REPEATS] [-s SIZE_MIB] [-o FILE]
#
# Three sets of cases, each with the three peers:
# - mixed-8bitmime: the mixed text (Latin with accents, Greek, Cyrillic, Chinese, Japanese,
#   emoji) to a sink that offers 8BITMIME: corvane-send sends it as 8bit, Python is told to
#   do the same (set_content cte="8bit", BODY=8BITMIME).
# - mixed-7bit: the same text to a sink that offers no extension: corvane-send encodes it
#   (Base64, as most of its bytes are beyond ASCII), Python makes its own choice.
# - latin-7bit: mostly German, French and English, to the sink without extensions: the
#   quoted-printable path of both.
# The texts have lines of 0 to 990 bytes, so 8bit is allowed (bench/mime_tool.py text).
#
# Method as in bench/compare.sh (shared through bench/common.sh): each case first once to a
# sink that saves the data, where Python's email package must decode the text to exactly
# the input (its line ends read as LF) and the subject to exactly what was given; then
# REPEATS timed rounds (default 7), each in a fresh shuffled order; medians of the wall
# time around the process, peak RSS from /usr/bin/time.
#
# Installs nothing itself except through tools/install-packages.sh; builds in build-bench
# (Release). Every server it starts it stops by its process id, talks to 127.0.0.1 only,
# bounds every wait, and removes its temporary folder.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
bench_options 7 10 "$@"

bench_tools curl /usr/bin/time /usr/bin/python3 timeout
bench_build corvane-send corvane-bench-sink
mime_tool="$root/bench/mime_tool.py"

bench_workdir corvane-text-compare

say "Making ${size_mib} MiB texts ..."
for kind in mixed latin; do
  /usr/bin/python3 "$mime_tool" text "$work/$kind.txt" "$size_mib" "$kind"
done
subject=$(/usr/bin/python3 "$mime_tool" subject)

# One sink of each kind to check (saving the data) and one to time.
declare -A sink_ports
for mode in 8bitmime 7bit; do
  extension=()
  [[ $mode == 8bitmime ]] && extension=(--8bitmime)
  bench_start_sink "check-$mode" --save "$work/received-$mode.eml" "${extension[@]}"
  sink_ports[check-$mode]=$sink_port
  bench_start_sink "timed-$mode" "${extension[@]}"
  sink_ports[timed-$mode]=$sink_port
done

sets=(mixed-8bitmime mixed-7bit latin-7bit)
peers=(corvane python curl)
declare -A set_label=(
  [mixed-8bitmime]='mixed scripts, sink offering 8BITMIME'
  [mixed-7bit]='mixed scripts, sink offering no extension'
  [latin-7bit]='mostly Latin, sink offering no extension'
)
declare -A peer_label=(
  [corvane]='`corvane-send` composing and sending (text on standard input)'
  [python]='Python `email` (`set_content`, `policy.default`) + `smtplib` composing and sending'
  [curl]='curl sending corvane-send'"'"'s message, already composed (`-T`)'
)
cases=()
for set in "${sets[@]}"; do
  for peer in "${peers[@]}"; do
    cases+=("$peer.$set")
  done
done

from=a@example.org
to=b@example.org
# Sets cmd and cmd_stdin for CASE (PEER.TEXT-MODE) sending to the sink for PURPOSE.
case_command() {
  local peer=${1%%.*} set=${1#*.}
  local kind=${set%%-*} mode=${set#*-}
  local port=${sink_ports[$2-$mode]}
  cmd_sink="$2-$mode"
  cmd_arrival='^message [0-9]+ bytes [0-9]+$'
  case $peer in
    corvane)
      cmd=("$bin/corvane-send" --quiet --no-archive --server "127.0.0.1:$port" --from "$from" --to "$to"
           --subject "$subject")
      cmd_stdin="$work/$kind.txt" ;;
    python)
      local cte=auto
      [[ $mode == 8bitmime ]] && cte=8bit
      cmd=(/usr/bin/python3 "$mime_tool" send-text 127.0.0.1 "$port" "$work/$kind.txt" "$cte") ;;
    curl)
      cmd=(curl -sS --url "smtp://127.0.0.1:$port" --mail-from "$from" --mail-rcpt "$to"
           -T "$work/composed.$set.eml") ;;
  esac
}

# 1. Each case once, to a saving sink: the text must come back exactly. corvane-send goes
# first in each set: what it sent, without the dot-stuffing, is what curl uploads.
declare -A expect_bytes encoding
for c in "${cases[@]}"; do
  say "Checking $c ..."
  bench_run_case "$c" check
  expect_bytes[$c]=$case_bytes
  set=${c#*.}
  kind=${set%%-*}
  received="$work/received-${set#*-}.eml"
  verdict=$(/usr/bin/python3 "$mime_tool" verify-text "$received" "$work/$kind.txt") ||
    { say "$c: $verdict"; exit 1; }
  say "  $verdict (${expect_bytes[$c]} bytes of data)"
  encoding[$c]=$(cut -d' ' -f2 <<<"$verdict")
  [[ $verdict == *"empty line" ]] && encoding[$c]+=" ¹"
  [[ ${c%%.*} == corvane ]] && /usr/bin/python3 "$mime_tool" undot "$received" "$work/composed.$set.eml"
done
rm -f "$work"/received-*.eml

# 2. Timed rounds.
declare -A times rss
bench_timed_rounds "$repeats" "${cases[@]}"

# 3. The report.
text_mib() { awk -v b="$(stat -c %s "$1")" 'BEGIN { print b / 1048576 }'; }
non_ascii() { LC_ALL=C tr -d '\000-\177' <"$1" | wc -c; }
{
  bench_report_heading
  for kind in mixed latin; do
    printf -- '- Text %s: %s bytes, %s lines (longest %s bytes), %.1f %% of its bytes beyond ASCII\n' "$kind" \
      "$(stat -c %s "$work/$kind.txt")" "$(wc -l <"$work/$kind.txt")" \
      "$(LC_ALL=C awk '{ if (length($0) > m) m = length($0) } END { print m }' "$work/$kind.txt")" \
      "$(awk -v n="$(non_ascii "$work/$kind.txt")" -v b="$(stat -c %s "$work/$kind.txt")" 'BEGIN { print 100 * n / b }')"
  done
  printf -- '- Subject: %s (RFC 2047 encoded-words on every side)\n' "$subject"
  printf -- '- Sinks: EHLO answered with 8BITMIME, or with no extension at all; %s timed runs per case, medians\n\n' "$repeats"
  printf '| text, sink | case | on the wire | median wall time (s) | min–max (s) | MiB/s of text | peak RSS (MiB) | time / curl -T |\n'
  printf '|---|---|---|---:|---:|---:|---:|---:|\n'
  for set in "${sets[@]}"; do
    ref=$(bench_median <<<"${times[curl.$set]}")
    mib=$(text_mib "$work/${set%%-*}.txt")
    for peer in "${peers[@]}"; do
      c="$peer.$set"
      m=$(bench_median <<<"${times[$c]}")
      printf '| %s | %s | %s | %.3f | %s | %.0f | %.1f | %.2f |\n' "${set_label[$set]}" "${peer_label[$peer]}" \
        "${encoding[$c]}" "$m" "$(bench_minmax <<<"${times[$c]}")" "$(bench_ratio "$mib" "$m")" \
        "$(awk -v k="$(bench_median <<<"${rss[$c]}")" 'BEGIN { print k / 1024 }')" "$(bench_ratio "$m" "$ref")"
    done
  done
  printf '\n¹ The text plus one empty line: corvane-send ends every message with an empty line before the final ".", which in 8bit and quoted-printable is part of the text.\n\n'

  printf '| goal | text, sink | measured | limit | verdict |\n|---|---|---:|---:|---|\n'
  for set in "${sets[@]}"; do
    send=$(bench_median <<<"${times[corvane.$set]}")
    ref=$(bench_median <<<"${times[curl.$set]}")
    python=$(bench_median <<<"${times[python.$set]}")
    printf '| corvane-send no slower than 1.5 × curl -T | %s | %.3f s (%.2f ×) | %.3f s | %s |\n' \
      "${set_label[$set]}" "$send" "$(bench_ratio "$send" "$ref")" \
      "$(awk -v b="$ref" 'BEGIN { print 1.5 * b }')" "$(bench_verdict "$send <= 1.5 * $ref")"
    printf '| corvane-send at least 3 × as fast as Python | %s | %.3f s (Python %.3f s, %.2f ×) | %.3f s | %s |\n' \
      "${set_label[$set]}" "$send" "$python" "$(bench_ratio "$python" "$send")" \
      "$(awk -v b="$python" 'BEGIN { print b / 3 }')" "$(bench_verdict "3 * $send <= $python")"
  done
} | if [[ -n $out_file ]]; then tee "$out_file"; else cat; fi
