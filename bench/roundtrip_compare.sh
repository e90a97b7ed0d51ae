#!/usr/bin/env bash
# Round trips and wall time of one small message over a distant link: corvane-send, msmtp,
# curl and Python's smtplib each send it through bench/latency_proxy.py (25 ms each way, so
# a 50 ms round trip) to tests/support/aiosmtpd_sink.py, a real aiosmtpd server, for 1 and
# 20 recipients, over plain SMTP, STARTTLS with sign-in and implicit TLS with sign-in, to a
# server that offers PIPELINING and to one that does not. Prints a Markdown report on
# standard output (progress goes to standard error).
#
#   bench/roundtrip_compare.sh [-n REPEATS] [-o FILE]
#
# After one untimed round of every case, REPEATS timed rounds (default 7), each in a fresh
# shuffled order. Every run must exit 0, and the server must have stored its message with
# exactly the expected envelope recipients (over TLS and signed in where asked); anything
# else fails the script. The proxy counts each connection's round trips (how: see its header);
# a case whose count is not the same in every run is flagged in the report. Wall time is
# taken around the whole process with bash's EPOCHREALTIME.
#
# The TLS cases trust a throw-away CA made for the run (SSL_CERT_FILE for corvane-send,
# tls_trust_file for msmtp, --cacert for curl, cafile for smtplib); no check is turned off.
# Installs nothing itself except through tools/install-packages.sh; builds corvane-send in
# build-bench (Release) at a lower priority. Every process it starts it stops by its process
# id, talks to 127.0.0.1 only, bounds every wait, and removes its temporary folder.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
bench_options 7 1 "$@"

bench_tools curl msmtp openssl timeout /usr/bin/python3
# The build makes way for the machine's other work; the timed runs do not.
(renice -n 10 -p "$BASHPID" >/dev/null && bench_build corvane-send)
bin="$root/build-bench/bin"

bench_workdir corvane-roundtrips
bench_make_certificates
(umask 077 && printf '%s\n%s\n' "$bench_user" "$(<"$work/password")" >"$work/account")

delay_ms=25
python=/usr/bin/python3
modes=(plain starttls tls)
offers=(pipelining one-at-a-time)
counts=(1 20)
clients=(corvane-send msmtp curl smtplib)
sender=sender@example.org
declare -A mode_title=([plain]="Plain SMTP" [starttls]="STARTTLS + AUTH PLAIN"
                       [tls]="Implicit TLS + AUTH PLAIN")
# The round trips an ideal client needs before the envelope: connect, greeting and EHLO; with
# STARTTLS also STARTTLS, the TLS 1.3 handshake, EHLO again and AUTH PLAIN with its initial
# response; with implicit TLS the handshake before the greeting, and AUTH.
declare -A prelude=([plain]=3 [starttls]=7 [tls]=5)

# The fewest round trips for MODE OFFER N: with PIPELINING the envelope and DATA are one
# group and QUIT goes with the final "."; without it MAIL, each RCPT, DATA, the data and QUIT
# each wait for their reply.
floor_round_trips() {
  local mode=$1 offer=$2 n=$3
  if [[ $offer == pipelining ]]; then echo $((prelude[$mode] + 2)); else echo $((prelude[$mode] + 4 + n)); fi
}

recipients() { local i; for ((i = 1; i <= $1; i++)); do echo "r$i@example.org"; done; }

# The same few lines for every client: as text for corvane-send, which composes the message,
# and as a message of about the same size with CR LF line ends for the others.
printf 'Hello,\n\nthis is a short message sent to measure round trips.\nIt has a few lines of text.\n\nRegards\n' \
  >"$work/text.txt"
for n in "${counts[@]}"; do
  {
    printf 'From: %s\nTo: %s\nSubject: Round trips\nDate: %s\nMessage-ID: <%s@example.org>\n' \
      "$sender" "$(recipients "$n" | paste -sd, | sed 's/,/,\n /g')" "$(date -R)" "$RANDOM$RANDOM"
    printf 'MIME-Version: 1.0\nContent-Type: text/plain; charset=utf-8\n\n'
    cat "$work/text.txt"
  } | sed 's/$/\r/' >"$work/message-$n.eml"
done

# Waits up to 10 s for FILE to have a first line.
wait_for_line() {
  local i
  for ((i = 0; i < 200; i++)); do [[ -s $1 ]] && return 0; sleep 0.05; done
  return 1
}

# A sink for MODE and OFFER ($work/SINK/mail) behind its proxy; sets proxy_port[SINK].
declare -A proxy_port stored connections
start_sink() {
  local mode=$1 offer=$2 sink="$1-$2" dir="$work/$1-$2" options=()
  mkdir -p "$dir/mail" "$dir/timelines"
  case $mode in
    starttls) options=(--starttls "$tls_dir/server.pem" "$tls_dir/server.key" --account "$work/account") ;;
    tls) options=(--tls "$tls_dir/server.pem" "$tls_dir/server.key" --account "$work/account") ;;
  esac
  [[ $offer == pipelining ]] && options+=(--pipelining)
  "$python" "$root/tests/support/aiosmtpd_sink.py" "$dir/mail" "${options[@]}" \
    >"$dir/sink.port" 2>"$dir/sink.log" &
  bench_track "$!"
  wait_for_line "$dir/sink.port" || { say "the sink $sink did not start:"; cat "$dir/sink.log" >&2; exit 1; }
  "$python" "$root/bench/latency_proxy.py" --upstream "$(head -n 1 "$dir/sink.port")" \
    --port-file "$dir/proxy.port" --timeline-dir "$dir/timelines" --delay-ms "$delay_ms" \
    2>"$dir/proxy.log" &
  bench_track "$!"
  wait_for_line "$dir/proxy.port" || { say "the proxy of $sink did not start:"; cat "$dir/proxy.log" >&2; exit 1; }
  proxy_port[$sink]=$(<"$dir/proxy.port")
  stored[$sink]=0 connections[$sink]=0
}

# msmtp's configuration: one account per sink, named after it.
write_msmtprc() {
  local mode offer
  for mode in "${modes[@]}"; do
    for offer in "${offers[@]}"; do
      printf 'account %s\nhost 127.0.0.1\nport %s\nfrom %s\n' \
        "$mode-$offer" "${proxy_port[$mode-$offer]}" "$sender"
      case $mode in
        plain) printf 'tls off\nauth off\n' ;;
        *) printf 'tls on\ntls_starttls %s\ntls_trust_file %s\nauth on\nuser %s\npassword %s\n' \
             "$([[ $mode == starttls ]] && echo on || echo off)" "$tls_dir/ca.pem" "$bench_user" \
             "$(<"$work/password")" ;;
      esac
      printf '\n'
    done
  done >"$work/msmtprc"
  chmod 600 "$work/msmtprc"
}

# Sets cmd and cmd_stdin for CLIENT sending to MODE-OFFER with N recipients.
case_command() {
  local client=$1 mode=$2 offer=$3 n=$4 to address port=${proxy_port[$2-$3]}
  mapfile -t to < <(recipients "$n")
  cmd_stdin="$work/message-$n.eml"
  case $client in
    corvane-send)
      cmd=(env "SSL_CERT_FILE=$tls_dir/ca.pem" "$bin/corvane-send" --quiet --no-archive
           --server "127.0.0.1:$port" --security "${mode/plain/none}" --from "$sender"
           --to "$(IFS=,; echo "${to[*]}")" --subject "Round trips")
      [[ $mode == plain ]] || cmd+=(--user "$bench_user" --password-file "$work/password")
      cmd_stdin="$work/text.txt" ;;
    msmtp)
      cmd=(msmtp -C "$work/msmtprc" -a "$mode-$offer" -- "${to[@]}") ;;
    curl)
      local scheme=smtp
      [[ $mode == tls ]] && scheme=smtps
      cmd=(curl -sS --max-time 60 --url "$scheme://127.0.0.1:$port" --mail-from "$sender"
           -T "$work/message-$n.eml")
      for address in "${to[@]}"; do cmd+=(--mail-rcpt "$address"); done
      [[ $mode == starttls ]] && cmd+=(--ssl-reqd)
      [[ $mode == plain ]] || cmd+=(--cacert "$tls_dir/ca.pem" --netrc-file "$work/netrc" --sasl-ir) ;;
    smtplib)
      cmd=("$python" "$root/bench/smtplib_send.py" "$port" "${mode/plain/none}" "$work/message-$n.eml"
           "$sender" "${to[@]}")
      [[ $mode == plain ]] || cmd+=(--user "$bench_user" --password-file "$work/password"
                                    --cafile "$tls_dir/ca.pem") ;;
  esac
}

# Checks that SINK stored the next message for the N recipients (over TLS and signed in
# where MODE asks for it) from CLIENT, and sets case_trips to the proxy's count for the
# connection; notes the sign-in mechanism CLIENT used in auth_used.
declare -A auth_used
check_delivery() {
  local sink=$1 mode=$2 n=$3 dir="$work/$1" folder summary line
  stored[$sink]=$((stored[$sink] + 1)) connections[$sink]=$((connections[$sink] + 1))
  folder="$dir/mail/message-${stored[$sink]}"
  [[ -d $folder ]] || { say "$sink: no message-${stored[$sink]} stored"; return 1; }
  [[ $(<"$folder/envelope-to") == "$(recipients "$n")" ]] ||
    { say "$sink: wrong envelope recipients:"; cat "$folder/envelope-to" >&2; return 1; }
  if [[ $mode != plain ]]; then
    [[ $(<"$folder/tls") == TLSv1.3 ]] || { say "$sink: came over \"$(<"$folder/tls")\", not TLSv1.3"; return 1; }
    [[ $(<"$folder/auth") =~ ^(PLAIN|LOGIN)\ $bench_user$ ]] || { say "$sink: not signed in"; return 1; }
  fi
  summary="$dir/timelines/summary"
  local i
  for ((i = 0; i < 200; i++)); do
    [[ $(bench_report_lines "$summary") -ge ${connections[$sink]} ]] && break
    sleep 0.05
  done
  line=$(sed -n "${connections[$sink]}p" "$summary" 2>/dev/null)
  [[ $line =~ ^connection\ ${connections[$sink]}\ round_trips\ ([0-9]+)\  ]] ||
    { say "$sink: the proxy did not report connection ${connections[$sink]} (\"$line\")"; return 1; }
  case_trips=${BASH_REMATCH[1]}
  [[ $mode == plain ]] || auth_used[$4]=$(cut -d' ' -f1 "$folder/auth")
}

# Runs case CLIENT/MODE/OFFER/N once; sets case_ms and case_trips. Fails the script when
# the client fails or its message did not arrive as it should.
run_case() {
  local client mode offer n start end
  IFS=/ read -r client mode offer n <<<"$1"
  case_command "$client" "$mode" "$offer" "$n"
  start=$EPOCHREALTIME
  timeout -k 5 60 "${cmd[@]}" <"$cmd_stdin" >"$work/run.out" 2>&1 ||
    { say "$1 failed (exit $?):"; cat "$work/run.out" >&2; exit 1; }
  end=$EPOCHREALTIME
  case_ms=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", (b - a) * 1000 }')
  check_delivery "$mode-$offer" "$mode" "$n" "$client" || { say "$1 failed its check"; exit 1; }
}

for mode in "${modes[@]}"; do for offer in "${offers[@]}"; do start_sink "$mode" "$offer"; done; done
write_msmtprc

cases=()
for mode in "${modes[@]}"; do for offer in "${offers[@]}"; do for n in "${counts[@]}"; do
  for client in "${clients[@]}"; do cases+=("$client/$mode/$offer/$n"); done
done; done; done

declare -A times trips
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for ((r = 0; r <= repeats; r++)); do
  mapfile -t order < <(printf '%s\n' "${cases[@]}" | shuf)
  for c in "${order[@]}"; do
    run_case "$c"
    # Round 0 warms the caches and checks every case once; it is not counted.
    ((r > 0)) || continue
    times[$c]+="$case_ms " trips[$c]+="$case_trips "
  done
  say "round $r/$repeats done"
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# The round trips of each case: one number, or every run's count, flagged, when they differ.
declare -A trips_cell
varied=0
for c in "${cases[@]}"; do
  if [[ $(tr ' ' '\n' <<<"${trips[$c]}" | grep -v '^$' | sort -u | wc -l) -eq 1 ]]; then
    trips_cell[$c]=${trips[$c]%% *}
  else
    trips_cell[$c]="**varies: ${trips[$c]% }**"
    varied=1
  fi
done

{
  bench_report_heading
  printf -- '- corvane-send from commit %s; %s; %s; Python %s with aiosmtpd %s as the server\n' \
    "$(git -C "$root" rev-parse --short HEAD)" "$(msmtp --version | head -n 1)" \
    "$(curl --version | head -n 1 | cut -d' ' -f1-2)" "$("$python" -c 'import platform; print(platform.python_version())')" \
    "$("$python" -c 'import aiosmtpd; print(aiosmtpd.__version__)')"
  printf -- '- Link: %s ms each way (a %s ms round trip) through bench/latency_proxy.py; the server is reached three one-way trips after the connect, as over TCP; %s timed runs per case after one untimed round, shuffled, medians\n' \
    "$delay_ms" "$((2 * delay_ms))" "$repeats"
  printf -- '- Clients: `corvane-send --no-archive`; msmtp with a generated msmtprc; curl `-T FILE` (with `--sasl-ir`, so that AUTH PLAIN carries its initial response; without it curl waits one more round trip); Python `smtplib` (bench/smtplib_send.py: `login()`, `sendmail()`)\n'
  printf -- '- Sign-in mechanism each client chose (the server offers PLAIN and LOGIN): %s\n' \
    "$(for client in "${clients[@]}"; do printf '%s %s; ' "$client" "${auth_used[$client]}"; done | sed 's/; $//')"
  printf -- '- Round trips: 1 for the connect plus 1 for each flight of the server the client waited for (counted by the proxy); floor: what an ideal client needs (see below); the last column is the time the link does not explain: starting the process, TLS and sign-in work on both sides, the server storing the message\n\n'
  for mode in "${modes[@]}"; do
    for offer in "${offers[@]}"; do
      printf '### %s, server %s\n\n' "${mode_title[$mode]}" \
        "$([[ $offer == pipelining ]] && echo 'offers PIPELINING' || echo 'without PIPELINING')"
      printf '| client | recipients | round trips | floor | median wall ms | min–max ms | ms beyond round trips × %s ms |\n' \
        "$((2 * delay_ms))"
      printf '|---|---:|---:|---:|---:|---:|---:|\n'
      for n in "${counts[@]}"; do
        for client in "${clients[@]}"; do
          c="$client/$mode/$offer/$n"
          median=$(bench_median <<<"${times[$c]}")
          printf '| %s | %s | %s | %s | %.0f | %s | %.0f |\n' "$client" "$n" "${trips_cell[$c]}" \
            "$(floor_round_trips "$mode" "$offer" "$n")" "$median" \
            "$(bench_minmax <<<"${times[$c]}" | awk -F– '{ printf "%.0f–%.0f", $1, $2 }')" \
            "$(awk -v m="$median" -v t="${trips[$c]%% *}" -v d="$delay_ms" 'BEGIN { print m - 2 * d * t }')"
        done
      done
      printf '\n'
    done
  done
  printf '**Floors.** With PIPELINING: plain 5 (connect, greeting, EHLO, MAIL+RCPT…+DATA, data+"."+QUIT), '
  printf 'STARTTLS + AUTH 9 (connect, greeting, EHLO, STARTTLS, TLS 1.3 handshake, EHLO with the Finished, AUTH PLAIN with initial response, envelope group, data+QUIT), '
  printf 'implicit TLS + AUTH 7 (connect, handshake, greeting, EHLO, AUTH, envelope group, data+QUIT), whatever the number of recipients. '
  printf 'Without PIPELINING every command waits for its reply: plain 7 + N (connect, greeting, EHLO, MAIL, N × RCPT, DATA, data+".", QUIT), '
  printf 'STARTTLS + AUTH 11 + N, implicit TLS + AUTH 9 + N: 8 and 27, 12 and 31, 10 and 29 for 1 and 20 recipients.\n'
  ((varied == 0)) || printf '\n**Some counts varied between runs** (marked above): the round trips of those cases are not deterministic.\n'
} | if [[ -n $out_file ]]; then tee "$out_file"; else cat; fi
