# Shared by the benchmark scripts (sourced, not run): messages, a temporary work folder, and
# the processes a script starts, all ended by their ids and removed when the script exits;
# for the side-by-side comparisons also the build, the sinks, a throw-away certificate, the
# checked and the timed runs of each case, and the figures of the report.

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

# ---- The side-by-side comparisons (bench/compare.sh, bench/text_compare.sh) ---------------
# A script sets root, calls bench_tools and bench_build, makes $work with bench_workdir, and
# defines case_command CASE PURPOSE (PURPOSE is check or timed), which sets:
#   cmd          the command line, run under timeout (and /usr/bin/time when timed)
#   cmd_stdin    its standard input
#   cmd_sink     the name of the sink it sends to (see bench_start_sink), empty if none
#   cmd_arrival  an extended regular expression the sink's report line must match, so that
#                a message that came in plain text where TLS was asked for fails the run
#   cmd_output   where its output goes, if not to $work/CASE.out

# The comparisons' options: -n REPEATS, -s SIZE_MIB, -o FILE (the report is also written
# there), -c CASES (a comma-separated list, for a script that can run only some of its
# cases); sets repeats, size_mib, out_file and only_cases from the defaults given and the
# script's arguments. -h, or anything else, prints the usage at the top of the script.
bench_options() {
  repeats=$1 size_mib=$2 out_file= only_cases=
  shift 2
  local opt OPTIND=1
  while getopts "n:s:o:c:h" opt; do
    case $opt in
      n) repeats=$OPTARG ;;
      s) size_mib=$OPTARG ;;
      o) out_file=$OPTARG ;;
      c) only_cases=$OPTARG ;;
      *) sed -n '2,/^#  *bench\//p' "$0" >&2; exit 2 ;;
    esac
  done
  [[ $repeats =~ ^[1-9][0-9]*$ && $size_mib =~ ^[1-9][0-9]*$ ]] || { say "bad -n or -s"; exit 2; }
}

# Installs what is missing (tools/install-packages.sh) and checks that each TOOL is there.
bench_tools() {
  "$root/tools/install-packages.sh"
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { say "missing: $tool (see tools/debian-packages.txt)"; exit 1; }
  done
}

# Builds TARGETS in build-bench with CMAKE_BUILD_TYPE=Release (-O3) and sets bin.
bench_build() {
  local build="$root/build-bench"
  say "Building (Release) in $build ..."
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >&2
  cmake --build "$build" --target "$@" >&2
  bin="$build/bin"
}

# Starts corvane-bench-sink as NAME (its report is $work/NAME.report); sets sink_port.
# Extra arguments go to the sink.
bench_start_sink() {
  local name=$1; shift
  "$bin/corvane-bench-sink" --port-file "$work/$name.port" --report "$work/$name.report" \
    --idle-timeout 900 --read-timeout 120 "$@" 2>>"$work/$name.log" &
  bench_track "$!"
  local i
  for ((i = 0; i < 100; i++)); do
    [[ -s "$work/$name.port" ]] && break
    sleep 0.05
  done
  [[ -s "$work/$name.port" ]] || { say "the sink $name did not start"; cat "$work/$name.log" >&2; exit 1; }
  sink_port=$(<"$work/$name.port")
}

# A throw-away CA and a certificate for 127.0.0.1 and localhost signed by it (EC P-256, valid
# for two days), made with the openssl command in $work/tls: ca.pem (what the clients are
# told to trust: SSL_CERT_FILE, curl --cacert), server.pem and server.key (the sink's).
# Also a user and password for the sink's sign-in: $work/password (corvane-send
# --password-file, the sink) and $work/netrc (curl --netrc-file).
bench_make_certificates() {
  local dir="$work/tls" key=(-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes)
  mkdir -p "$dir"
  {
    openssl req -x509 -new "${key[@]}" -days 2 -subj "/CN=Corvane benchmark CA" \
      -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
      -keyout "$dir/ca.key" -out "$dir/ca.pem" &&
    openssl req -new "${key[@]}" -subj "/CN=127.0.0.1" \
      -addext "basicConstraints=critical,CA:FALSE" -addext "keyUsage=critical,digitalSignature" \
      -addext "extendedKeyUsage=serverAuth" -addext "subjectAltName=IP:127.0.0.1,DNS:localhost" \
      -keyout "$dir/server.key" -out "$dir/server.csr" &&
    openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" \
      -CAcreateserial -days 2 -sha256 -copy_extensions copyall -out "$dir/server.pem" &&
    openssl verify -CAfile "$dir/ca.pem" -purpose sslserver "$dir/server.pem"
  } >"$dir/openssl.log" 2>&1 || { say "openssl failed:"; cat "$dir/openssl.log" >&2; exit 1; }
  tls_dir=$dir
  bench_user=bench
  # A fresh password each run; it is only ever in these two files.
  local password
  password=$(head -c 18 /dev/urandom | base64 | tr '+/' '-_')
  # Its owner's alone: corvane-send refuses a password file others may read.
  (umask 077 && printf '%s\n' "$password" >"$work/password")
  printf 'machine 127.0.0.1 login %s password %s\n' "$bench_user" "$password" >"$work/netrc"
  chmod 600 "$work/password" "$work/netrc"
}

bench_report_lines() { [[ -f "$1" ]] && wc -l <"$1" || echo 0; }

# Runs CASE once for PURPOSE (under /usr/bin/time when timed, which writes the peak RSS to
# $work/time.txt); sets case_seconds and, when it sends, case_bytes (the data the sink
# counted). Fails the script when the case fails or no fitting message arrived.
bench_run_case() {
  local c=$1 purpose=$2 out report before start end line
  cmd_stdin=/dev/null cmd_sink= cmd_arrival= cmd_output=
  case_command "$c" "$purpose"
  out=${cmd_output:-$work/$c.out}
  report="$work/$cmd_sink.report"
  before=$(bench_report_lines "$report")
  local wrap=()
  [[ $purpose == timed ]] && wrap=(/usr/bin/time -f '%M' -o "$work/time.txt")
  start=$EPOCHREALTIME
  timeout -k 5 600 "${wrap[@]}" "${cmd[@]}" <"$cmd_stdin" >"$out" 2>&1 ||
    { say "$c failed ($purpose):"; [[ $out == /dev/null ]] || cat "$out" >&2; exit 1; }
  end=$EPOCHREALTIME
  case_seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')
  case_bytes=
  [[ -n $cmd_sink ]] || return 0
  [[ $(bench_report_lines "$report") -eq $((before + 1)) ]] || { say "$c: the sink got no message"; exit 1; }
  line=$(tail -n 1 "$report")
  [[ $line =~ $cmd_arrival ]] || { say "$c: the sink reported \"$line\", expected /$cmd_arrival/"; exit 1; }
  case_bytes=$(awk '{ print $4 }' <<<"$line")
}

# REPEATS rounds of every CASE, each round in a fresh shuffled order, so that no case always
# follows the same one (a burst of load elsewhere, or the memory a previous case just freed,
# hits every case alike). Fills times[CASE] and rss[CASE] (KiB), space-separated; a case
# that sends must deliver within 200 bytes of expect_bytes[CASE] (boundaries and
# Message-IDs vary in length, nothing more). Sets load_before and load_after.
bench_timed_rounds() {
  local repeats=$1; shift
  local r c diff order
  load_before=$(cut -d' ' -f1-3 /proc/loadavg)
  for ((r = 1; r <= repeats; r++)); do
    mapfile -t order < <(printf '%s\n' "$@" | shuf)
    say "round $r order: ${order[*]}"
    for c in "${order[@]}"; do
      bench_run_case "$c" timed
      if [[ -n $case_bytes ]]; then
        diff=$((case_bytes - expect_bytes[$c]))
        ((diff > -200 && diff < 200)) ||
          { say "$c: $case_bytes bytes arrived in round $r, expected about ${expect_bytes[$c]}"; exit 1; }
      fi
      times[$c]+="$case_seconds "
      rss[$c]+="$(tail -n 1 "$work/time.txt") "
      say "round $r/$repeats $c: ${case_seconds} s"
    done
  done
  load_after=$(cut -d' ' -f1-3 /proc/loadavg)
}

# Figures of the report, from a space-separated list of numbers on standard input.
bench_median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
bench_minmax() { tr ' ' '\n' | grep -v '^$' | sort -g | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.3f–%.3f", lo, hi }'; }
# Prints A / B.
bench_ratio() { awk -v a="$1" -v b="$2" 'BEGIN { print a / b }'; }
# met or NOT met, as the awk CONDITION holds.
bench_verdict() { awk "BEGIN { exit !($1) }" && echo met || echo "NOT met"; }

# The report's heading and the machine it ran on.
bench_report_heading() {
  printf '## Measured %s on %s\n\n' "$(date -u '+%Y-%m-%d %H:%M UTC')" "$(hostname)"
  printf -- '- Machine: %s cores, %s, %s MiB memory; load average before the timed rounds %s, after %s\n' \
    "$(nproc)" "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')" \
    "$(($(awk '/MemTotal/ {print $2}' /proc/meminfo) / 1024))" "$load_before" "$load_after"
}
