#!/usr/bin/env bash
# Benchmark of an update written from the kept package: two packages made here (about
# SIZE MiB, about 2,000 deflated entries of mixed sizes; the second changes 5% of the
# entries' bytes, adds and removes a few), served by Debian's nginx on loopback, which logs
# every request's range and bytes sent. Prints, against the targets: the bytes and
# requests of the update, the check a Repair makes of an intact kept package, the wall
# time of the update against a bare WinHTTP loop fetching the same bytes plus one read of
# the kept package, the peak memory, and a whole download of the new package beside it.
#   bench/update_bench.sh [--build-dir DIR] [--port N] [--size-mib N]
# Not a test: the test command never runs it. It takes a few minutes for 1 GiB.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build port=18571 size_mib=1024
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build="$2"; shift 2 ;;
    --port) port="$2"; shift 2 ;;
    --size-mib) size_mib="$2"; shift 2 ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done
./scripts/install-deps.sh
[ -x /usr/sbin/nginx ] || DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends nginx
cmake --build "$build" -j2 --target download_bench HollowmereLauncher >/dev/null
build="$(cd "$build" && pwd)"
work="$(mktemp -d /tmp/hollowmere-update-bench.XXXXXX)"
cleanup() { [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null; wineserver -k 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
chmod 755 "$work"; mkdir -p "$work/www" "$work/logs"

echo "Making two packages of about $size_mib MiB..."
python3 - "$work/www" "$size_mib" >"$work/packages.txt" <<'PY'
import os, random, sys, zipfile
folder, size_mib = sys.argv[1], int(sys.argv[2])
rng = random.Random(2026)
def data(n):  # half random, half repeated text: deflate has something to do
    return rng.randbytes(n // 2) + (b"Hollowmere Sarnhold " * (n // 40 + 1))[: n - n // 2]
sizes = [rng.randint(1, 64) * 1024 for _ in range(1940)]
large = (size_mib * 1048576 - sum(sizes)) // 60
sizes += [large] * 60
rng.shuffle(sizes)
entries = {"data/%04d.pak" % i: data(n) for i, n in enumerate(sizes)}
entries["Sarnhold-Elderline.exe"] = data(4 << 20)
def pack(path, files):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as archive:
        for name in sorted(files):
            archive.writestr(zipfile.ZipInfo(name, (2026, 12, 1, 0, 0, 0)), files[name], zipfile.ZIP_DEFLATED, 1)
pack(os.path.join(folder, "old.zip"), entries)
new = dict(entries)
names = sorted(n for n in entries if n.startswith("data/"))
changed, budget = [], sum(len(v) for v in entries.values()) // 20
for name in rng.sample(names, len(names)):
    if budget <= 0: break
    new[name] = data(len(entries[name])); changed.append(name); budget -= len(entries[name])
for name in rng.sample(names, 5): new.pop(name, None)
for i in range(5): new["data/added%d.pak" % i] = data(256 << 10)
pack(os.path.join(folder, "new.zip"), new)
with zipfile.ZipFile(os.path.join(folder, "new.zip")) as archive:
    infos = {i.filename: i for i in archive.infolist()}
    directory = os.path.getsize(os.path.join(folder, "new.zip")) - archive.start_dir
fetched_entries = [n for n in infos if n not in entries or n in changed]
print("entries=%d changed=%d added=5 removed=5" % (len(infos), len(changed)))
print("changed_compressed=%d" % sum(infos[n].compress_size + 30 + len(n) for n in fetched_entries))
print("changed_count=%d" % len(fetched_entries))
print("directory=%d" % directory)
PY
cat "$work/packages.txt"
value() { sed -n "s/^$1=//p" "$2" | head -1; }
new_size=$(stat -c %s "$work/www/new.zip"); old_size=$(stat -c %s "$work/www/old.zip")
new_digest=$(sha256sum "$work/www/new.zip" | cut -d' ' -f1)
head -c "$(value changed_compressed "$work/packages.txt")" /dev/urandom >"$work/www/same-bytes.bin"
chmod 644 "$work/www/"*

cat >"$work/nginx.conf" <<NGINX
worker_processes 1;
daemon on;
pid $work/nginx.pid;
error_log $work/logs/error.log;
events { worker_connections 64; }
http {
  log_format bench '\$request_uri \$status \$bytes_sent "\$http_range"';
  access_log $work/logs/access.log bench;
  sendfile on;
  types { application/zip zip; application/octet-stream bin; }
  server { listen 127.0.0.1:$port; root $work/www; }
}
NGINX
/usr/sbin/nginx -p "$work" -c "$work/nginx.conf"
for _ in $(seq 50); do [ -s "$work/nginx.pid" ] && break; sleep 0.1; done
export WINEPREFIX="$build/bench-wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
[ -f "$WINEPREFIX/.hollowmere-ready" ] || { mkdir -p "$WINEPREFIX"; wine wineboot -i >/dev/null 2>&1 || true; touch "$WINEPREFIX/.hollowmere-ready"; }
bench() { wine "$build/bench/download_bench.exe" "$@" 2>/dev/null | tr -d '\r'; }
win() { winepath -w "$1" 2>/dev/null; }
url="http://127.0.0.1:$port/new.zip"
served() { awk -v p="$1" '$1 == p {n++; b += $3} END {printf "%d %d", n, b}' "$work/logs/access.log"; }

# The update: the kept package is the old one.
cp "$work/www/old.zip" "$work/client.zip"
: >"$work/logs/access.log"
bench rebuild "$url" "$(win "$work/client.zip")" "$new_size" "$new_digest" >"$work/rebuild.txt" || true
cat "$work/rebuild.txt" | grep -q total_s || { cat "$work/rebuild.txt"; exit 1; }
cmp -s "$work/client.zip" "$work/www/new.zip" || { echo "the rebuilt package differs" >&2; exit 1; }
read -r requests sent <<<"$(served /new.zip)"
# A Repair with the package intact asks for nothing (the service tests show it); its
# cost is the check of the kept package's digest.
bench sha "$(win "$work/client.zip")" >"$work/check.txt"
# The bare loop for the same bytes, and one read of the kept package.
bench bare-get "http://127.0.0.1:$port/same-bytes.bin" >"$work/bare.txt"
bench bare-sha "$(win "$work/www/old.zip")" >"$work/read.txt"
# A whole download of the new package, as without a kept one.
rm -f "$work/whole.zip"
bench download "$url" "$(win "$work/whole.zip")" "$new_size" "$new_digest" >"$work/whole.txt"

changed=$(value changed_compressed "$work/packages.txt"); count=$(value changed_count "$work/packages.txt")
directory=$(value directory "$work/packages.txt")
bytes_target=$(awk -v c="$changed" -v d="$directory" -v n="$count" 'BEGIN {printf "%d", 1.05 * (c + d) + 1024 * n}')
bare=$(awk -v a="$(value transfer_s "$work/bare.txt")" -v b="$(value verify_s "$work/read.txt")" 'BEGIN {printf "%.3f", a + b}')
echo
echo "Machine: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores; $(wine --version); nginx $(/usr/sbin/nginx -v 2>&1 | cut -d/ -f2)"
echo "Date: $(date -u +%Y-%m-%d)"
echo "Packages: old $old_size bytes, new $new_size bytes; $(head -1 "$work/packages.txt")"
printf '%-44s %14s %14s\n' "Measurement" "figure" "target"
printf '%-44s %14s %14s\n' "update: bytes fetched (nginx)" "$sent" "<= $bytes_target"
printf '%-44s %14s %14s\n' "update: requests (nginx)" "$requests" "<= $((count + 8))"
printf '%-44s %14s %14s\n' "update: wall time, s" "$(value total_s "$work/rebuild.txt")" "<= $(awk -v b="$bare" 'BEGIN {printf "%.3f", 1.2 * b}')"
printf '%-44s %14s %14s\n' "  bare loop for those bytes + one read, s" "$bare" ""
printf '%-44s %14s %14s\n' "update: peak working set, MiB" "$(value peak_mib "$work/rebuild.txt")" "flat"
printf '%-44s %14s %14s\n' "Repair, kept package intact: its check, s" "$(value verify_s "$work/check.txt")" "no request"
printf '%-44s %14s %14s\n' "whole download of the new package, s" "$(value total_s "$work/whole.txt")" ""
printf '%-44s %14s %14s\n' "whole download: peak working set, MiB" "$(value peak_mib "$work/whole.txt")" ""
