#!/usr/bin/env bash
# Benchmark of the resumable verified download: serves one large file from Debian's
# nginx on loopback (with Range, as the real file host does) and measures, on that
# same file and in the same runs, the launcher's DownloadVerifiedFile from its start
# to the package in place (the digest is computed while the bytes are written) against
# a bare WinHTTP read loop, Sha256OfFile against a bare BCrypt loop, the peak memory
# of the process, and a download resumed at half; curl and sha256sum for reference.
# The figure to watch is "whole call" against the bare WinHTTP loop (best of the runs).
#   bench/download_bench.sh [--build-dir DIR] [--port N] [--size-mib N] [--runs N]
# Not a test: the test command never runs it. It takes a few minutes for 1 GiB.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
build=build
port=18570
size_mib=1024
runs=3
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build="$2"; shift 2 ;;
    --port) port="$2"; shift 2 ;;
    --size-mib) size_mib="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done

./scripts/install-deps.sh
nginx_bin=/usr/sbin/nginx
if [ ! -x "$nginx_bin" ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends nginx
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-posix.cmake >/dev/null
fi
cmake --build "$build" -j2 --target download_bench >/dev/null
build="$(cd "$build" && pwd)"
bench_exe="$build/bench/download_bench.exe"

work="$(mktemp -d /tmp/hollowmere-bench.XXXXXX)"
nginx_pid=""
cleanup() {
  if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; fi
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "download_bench.sh: failed at line $LINENO" >&2; cat "$work/logs/error.log" 2>/dev/null >&2 || true' ERR
# nginx's workers run as nobody and must read the served files.
chmod 755 "$work"
mkdir -p "$work/www" "$work/out" "$work/logs"
chmod 777 "$work/out"

echo "Creating a $size_mib MiB file and a 64 MiB file of random bytes..."
head -c "$((size_mib * 1048576))" /dev/urandom >"$work/www/package.bin"
head -c "$((64 * 1048576))" /dev/urandom >"$work/www/small.bin"
chmod 644 "$work/www/"*.bin
size=$(stat -c %s "$work/www/package.bin")
small_size=$(stat -c %s "$work/www/small.bin")
small_digest=$(sha256sum "$work/www/small.bin" | cut -d' ' -f1)

cat >"$work/nginx.conf" <<EOF
worker_processes 1;
daemon on;
pid $work/nginx.pid;
error_log $work/logs/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  client_body_temp_path $work/logs/body;
  proxy_temp_path $work/logs/proxy;
  fastcgi_temp_path $work/logs/fastcgi;
  uwsgi_temp_path $work/logs/uwsgi;
  scgi_temp_path $work/logs/scgi;
  types { application/octet-stream bin; }
  server {
    listen 127.0.0.1:$port;
    root $work/www;
  }
}
EOF
"$nginx_bin" -p "$work" -c "$work/nginx.conf"
for _ in $(seq 50); do [ -s "$work/nginx.pid" ] && break; sleep 0.1; done
nginx_pid=$(cat "$work/nginx.pid")
url="http://127.0.0.1:$port/package.bin"
# Range must work, or the resume measurement means nothing.
range_status=$(curl -s -o /dev/null -w '%{http_code}' -H 'Range: bytes=4-' "$url")
[ "$range_status" = 206 ] || { echo "nginx answered $range_status to a range request" >&2; exit 1; }

# A prefix of its own, so the benchmark never disturbs a test run in the same build.
export WINEPREFIX="$build/bench-wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
if [ ! -f "$WINEPREFIX/.hollowmere-ready" ]; then
  mkdir -p "$WINEPREFIX"
  wine wineboot -i >/dev/null 2>&1 || true
  touch "$WINEPREFIX/.hollowmere-ready"
fi
wineserver -p 2>/dev/null || true  # one may still run from the prefix creation
wine wineboot >/dev/null 2>&1 || true

win() { echo "Z:$1"; }
# Runs one measurement in its own process and prints its key=value lines.
bench() { wine "$bench_exe" "$@" | tr -d '\r'; }
value() { grep "^$1=" | head -1 | cut -d= -f2; }
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN {printf "%.3f", b - a}'; }
fail() { echo "$1" >&2; exit 1; }

echo "Digest by sha256sum (also warms the page cache)..."
digest=$(sha256sum "$work/www/package.bin" | cut -d' ' -f1)
digest=${digest^^}
target="$work/out/package.bin"

# One list of seconds per measurement, one entry per run.
declare -A times
record() { times[$1]="${times[$1]:-} $2"; }
for run in $(seq "$runs"); do
  echo "Run $run of $runs..."
  out=$(bench bare-get "$url")
  [ "$(echo "$out" | value bytes)" = "$size" ] || fail "bare loop: $out"
  record bare_get "$(echo "$out" | value transfer_s)"
  record bare_get_cpu "$(echo "$out" | value transfer_cpu_s)"

  rm -f "$target"
  out=$(bench bare-get "$url" "$(win "$target")")
  [ "$(echo "$out" | value bytes)" = "$size" ] || fail "bare loop with writes: $out"
  record bare_write "$(echo "$out" | value transfer_s)"
  record bare_write_cpu "$(echo "$out" | value transfer_cpu_s)"

  rm -f "$target" "$target.download"
  out=$(bench download "$url" "$(win "$target")" "$size" "$digest")
  echo "$out" | grep -q '^total_s=' || fail "download: $out"
  record transfer "$(echo "$out" | value transfer_s)"
  record transfer_cpu "$(echo "$out" | value transfer_cpu_s)"
  record verify "$(echo "$out" | value verify_s)"
  record verify_cpu "$(echo "$out" | value verify_cpu_s)"
  record total "$(echo "$out" | value total_s)"
  record growth "$(echo "$out" | value growth_mib)"
  record peak "$(echo "$out" | value peak_mib)"
  cmp -s "$target" "$work/www/package.bin" || fail "downloaded bytes differ"

  out=$(bench sha "$(win "$target")")
  [ "$(echo "$out" | value digest)" = "$digest" ] || fail "Sha256OfFile: $out"
  record sha "$(echo "$out" | value verify_s)"
  record sha_cpu "$(echo "$out" | value verify_cpu_s)"
  out=$(bench bare-sha "$(win "$target")")
  [ "$(echo "$out" | value digest)" = "$digest" ] || fail "bare digest: $out"
  record bare_sha "$(echo "$out" | value verify_s)"
  record bare_sha_cpu "$(echo "$out" | value verify_cpu_s)"

  # Cut at half: the partial file holds the first half of the bytes, as an interrupted
  # download leaves it, and the next call asks for the rest with a range request.
  rm -f "$target"
  head -c "$((size / 2))" "$work/www/package.bin" >"$target.download"
  out=$(bench download "$url" "$(win "$target")" "$size" "$digest")
  echo "$out" | grep -q '^total_s=' || fail "resumed download: $out"
  record resumed_transfer "$(echo "$out" | value transfer_s)"
  record resumed_total "$(echo "$out" | value total_s)"
  cmp -s "$target" "$work/www/package.bin" || fail "resumed bytes differ"

  rm -f "$work/out/curl.bin"
  record curl "$(curl -s -o "$work/out/curl.bin" -w '%{time_total}' "$url" | awk '{printf "%.3f", $1}')"
  rm -f "$work/out/curl.bin"
  start=$(now); sha256sum "$target" >/dev/null; record sha256sum "$(since "$start")"
done

rm -f "$work/out/small.bin" "$work/out/small.bin.download"
out=$(bench download "http://127.0.0.1:$port/small.bin" "$(win "$work/out/small.bin")" "$small_size" "$small_digest")
small_growth=$(echo "$out" | value growth_mib)

# Other work on the machine only ever adds time, so the best run is the figure to
# compare; the median shows how much the runs were disturbed. The process's own CPU
# time (median) is steadier still, but leaves out Wine's server process.
best() { echo ${times[$1]} | tr ' ' '\n' | sort -g | head -1; }
median() { echo ${times[$1]} | tr ' ' '\n' | sort -g | awk '{a[NR]=$1} END {printf "%.3f", (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
mbps() { awk -v b="$1" -v s="$2" 'BEGIN {printf "%.0f", b / 1e6 / s}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", a / b}'; }
row() {  # name, measurement, bytes moved, comparison text
  local cpu=""
  [ -n "${times[$2_cpu]:-}" ] && cpu=$(median "$2_cpu")
  printf '%-42s %7s %7s %6s %7s  %s\n' "$1" "$(best "$2")" "$(median "$2")" "$(mbps "$3" "$(best "$2")")" "$cpu" "$4"
}
of() { echo "$(ratio "$(best "$1")" "$(best "$2")") x $3 (CPU $(ratio "$(median "$1_cpu")" "$(median "$2_cpu")") x)"; }
ofwall() { echo "$(ratio "$(best "$1")" "$(best "$2")") x $3"; }

echo
echo "Machine: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores, $(free -g | awk '/^Mem:/ {print $2}') GiB RAM; $(wine --version); nginx $("$nginx_bin" -v 2>&1 | cut -d/ -f2); curl $(curl --version | head -1 | cut -d' ' -f2)"
echo "Date: $(date -u +%Y-%m-%d)"
echo "File: $size bytes from nginx on 127.0.0.1; $runs runs; wall seconds (best and median), MB/s = 10^6 bytes/s"
echo "of the best, CPU seconds of the process (median); ratios of the best wall time and of the median CPU time"
printf '%-42s %7s %7s %6s %7s  %s\n' "Measurement" "best" "median" "MB/s" "CPU" "against"
row "bare WinHTTP loop, 1 MiB reads (Wine)" bare_get "$size" ""
row "bare WinHTTP loop + WriteFile (Wine)" bare_write "$size" "$(of bare_write bare_get "bare WinHTTP")"
row "DownloadVerifiedFile: transfer + digest" transfer "$size" "$(of transfer bare_get "bare WinHTTP"), $(of transfer bare_write "bare WinHTTP + WriteFile")"
row "curl to disk (reference)" curl "$size" "$(ofwall curl bare_get "bare WinHTTP")"
row "bare BCrypt SHA-256 loop (Wine)" bare_sha "$size" ""
row "Sha256OfFile" sha "$size" "$(of sha bare_sha "bare BCrypt")"
row "DownloadVerifiedFile: compare and move" verify "$size" ""
row "sha256sum (reference)" sha256sum "$size" "$(ofwall sha256sum bare_sha "bare BCrypt")"
row "DownloadVerifiedFile: whole call" total "$size" "$(ofwall total bare_get "bare WinHTTP") (target 1.05), $(ofwall total bare_write "bare WinHTTP + WriteFile")"
row "resumed at half: transfer of the rest" resumed_transfer "$((size - size / 2))" "$(ofwall resumed_transfer transfer "full transfer")"
row "resumed at half: whole call" resumed_total "$size" "$(ofwall resumed_total total "full call")"
echo "Peak working set of the download process: $(median peak) MiB; growth during the call: $(median growth) MiB for $size bytes, $small_growth MiB for $small_size bytes"
echo "Each run (seconds):"
for key in bare_get bare_write transfer total bare_get_cpu bare_write_cpu transfer_cpu curl bare_sha sha verify \
           bare_sha_cpu sha_cpu verify_cpu sha256sum resumed_transfer; do
  echo "  $key:${times[$key]}"
done
