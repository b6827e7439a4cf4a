#!/usr/bin/env bash
# Benchmark of the resumable verified download: serves one large file from Debian's
# nginx on loopback (with Range, as the real file host does) and measures, on that
# same file, the launcher's DownloadVerifiedFile and Sha256OfFile under Wine against
# a bare WinHTTP read loop and a bare BCrypt loop, the peak memory of the process,
# and a download resumed at half; curl and sha256sum run for reference.
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
wineserver -p
wine wineboot >/dev/null 2>&1 || true

win() { echo "Z:$1"; }
# Runs one measurement in its own process and prints its key=value lines.
bench() { wine "$bench_exe" "$@" | tr -d '\r'; }
value() { grep "^$1=" | head -1 | cut -d= -f2; }
now() { date +%s.%N; }
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
mbps() { awk -v b="$1" -v s="$2" 'BEGIN {printf "%.0f", b / 1e6 / s}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", a / b}'; }

echo "Digest by sha256sum (also warms the page cache)..."
start=$(now); digest=$(sha256sum "$work/www/package.bin" | cut -d' ' -f1); end=$(now)
digest=${digest^^}
target="$work/out/package.bin"

bare_get=() ; dl_transfer=() ; dl_verify=() ; dl_total=() ; dl_growth=() ; dl_peak=()
sha=() ; bare_sha=() ; rs_transfer=() ; rs_total=() ; curl_s=() ; sums=()
for run in $(seq "$runs"); do
  echo "Run $run of $runs..."
  out=$(bench bare-get "$url")
  [ "$(echo "$out" | value bytes)" = "$size" ] || { echo "bare loop: $out" >&2; exit 1; }
  bare_get+=("$(echo "$out" | value transfer_s)")

  rm -f "$target" "$target.download"
  out=$(bench download "$url" "$(win "$target")" "$size" "$digest")
  echo "$out" | grep -q '^total_s=' || { echo "download: $out" >&2; exit 1; }
  dl_transfer+=("$(echo "$out" | value transfer_s)")
  dl_verify+=("$(echo "$out" | value verify_s)")
  dl_total+=("$(echo "$out" | value total_s)")
  dl_growth+=("$(echo "$out" | value growth_mib)")
  dl_peak+=("$(echo "$out" | value peak_mib)")
  cmp -s "$target" "$work/www/package.bin" || { echo "downloaded bytes differ" >&2; exit 1; }

  out=$(bench sha "$(win "$target")")
  [ "$(echo "$out" | value digest)" = "$digest" ] || { echo "Sha256OfFile: $out" >&2; exit 1; }
  sha+=("$(echo "$out" | value verify_s)")
  out=$(bench bare-sha "$(win "$target")")
  [ "$(echo "$out" | value digest)" = "$digest" ] || { echo "bare digest: $out" >&2; exit 1; }
  bare_sha+=("$(echo "$out" | value verify_s)")

  # An interruption at half: the partial file holds the first half of the bytes.
  rm -f "$target"
  head -c "$((size / 2))" "$work/www/package.bin" >"$target.download"
  out=$(bench download "$url" "$(win "$target")" "$size" "$digest")
  echo "$out" | grep -q '^total_s=' || { echo "resumed download: $out" >&2; exit 1; }
  rs_transfer+=("$(echo "$out" | value transfer_s)")
  rs_total+=("$(echo "$out" | value total_s)")
  cmp -s "$target" "$work/www/package.bin" || { echo "resumed bytes differ" >&2; exit 1; }

  rm -f "$work/out/curl.bin"
  curl_s+=("$(curl -s -o "$work/out/curl.bin" -w '%{time_total}' "$url")")
  rm -f "$work/out/curl.bin"
  start=$(now); sha256sum "$target" >/dev/null; end=$(now)
  sums+=("$(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.3f", b - a}')")
done

rm -f "$work/out/small.bin" "$work/out/small.bin.download"
out=$(bench download "http://127.0.0.1:$port/small.bin" "$(win "$work/out/small.bin")" "$small_size" "$small_digest")
small_growth=$(echo "$out" | value growth_mib)

m() { echo "$@" | median; }
bg=$(m "${bare_get[@]}"); dt=$(m "${dl_transfer[@]}"); dv=$(m "${dl_verify[@]}"); dtot=$(m "${dl_total[@]}")
s=$(m "${sha[@]}"); bs=$(m "${bare_sha[@]}"); rt=$(m "${rs_transfer[@]}"); rtot=$(m "${rs_total[@]}")
c=$(m "${curl_s[@]}"); ss=$(m "${sums[@]}")
growth=$(m "${dl_growth[@]}"); peak=$(m "${dl_peak[@]}")

echo
echo "Machine: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores, $(free -g | awk '/^Mem:/ {print $2}') GiB RAM; $(wine --version); nginx $("$nginx_bin" -v 2>&1 | cut -d/ -f2)"
echo "Date: $(date -u +%Y-%m-%d)"
echo "File: $size bytes, served by nginx on 127.0.0.1; medians of $runs runs (seconds, MB/s = 10^6 bytes/s)"
printf '%-46s %9s %8s %s\n' "Measurement" "seconds" "MB/s" "ratio"
printf '%-46s %9s %8s %s\n' "bare WinHTTP loop (Wine), 1 MiB reads" "$bg" "$(mbps "$size" "$bg")" "1.000"
printf '%-46s %9s %8s %s\n' "DownloadVerifiedFile, transfer to disk" "$dt" "$(mbps "$size" "$dt")" "$(ratio "$dt" "$bg") of bare WinHTTP"
printf '%-46s %9s %8s %s\n' "curl to disk (reference)" "$c" "$(mbps "$size" "$c")" "$(ratio "$c" "$bg") of bare WinHTTP"
printf '%-46s %9s %8s %s\n' "bare BCrypt SHA-256 loop (Wine)" "$bs" "$(mbps "$size" "$bs")" "1.000"
printf '%-46s %9s %8s %s\n' "Sha256OfFile" "$s" "$(mbps "$size" "$s")" "$(ratio "$s" "$bs") of bare BCrypt"
printf '%-46s %9s %8s %s\n' "DownloadVerifiedFile, verify and move" "$dv" "$(mbps "$size" "$dv")" "$(ratio "$dv" "$bs") of bare BCrypt"
printf '%-46s %9s %8s %s\n' "sha256sum (reference)" "$ss" "$(mbps "$size" "$ss")" "$(ratio "$ss" "$bs") of bare BCrypt"
printf '%-46s %9s %8s %s\n' "DownloadVerifiedFile, whole call" "$dtot" "" ""
printf '%-46s %9s %8s %s\n' "resumed at half: transfer of the second half" "$rt" "$(mbps "$((size - size / 2))" "$rt")" "$(ratio "$rt" "$dt") of the full transfer"
printf '%-46s %9s %8s %s\n' "resumed at half: whole call" "$rtot" "" "$(ratio "$rtot" "$dtot") of the full call"
echo "Peak working set of the download process: $peak MiB; growth during the call: $growth MiB ($size bytes), $small_growth MiB ($small_size bytes)"
