#!/usr/bin/env bash
# Builds the native fuzz targets (fuzz/, clang with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a while on its seeds and on what earlier
# runs found. Stops at the first finding and says where its input was kept.
#   scripts/fuzz.sh [--build-dir DIR] [--seconds N] [target...]
# Targets are the names of fuzz/*_fuzz.cpp without "_fuzz" (json_fields, lua_options, ...);
# all of them by default. --seconds is per target (default 600).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
seconds=600
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build="$2"; shift 2 ;;
    --seconds) seconds="$2"; shift 2 ;;
    *) break ;;
  esac
done
./scripts/install-deps.sh
out="$build/fuzz-native"
# The same folder and compiler as the test build's, so either may build it.
cmake -S fuzz -B "$out" -DCMAKE_CXX_COMPILER="$(command -v clang++)" >/dev/null
cmake --build "$out" -j2
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for harness in fuzz/*_fuzz.cpp; do
    name="$(basename "$harness" _fuzz.cpp)"
    targets+=("$name")
  done
fi
for name in "${targets[@]}"; do
  mkdir -p "$out/corpus/$name" "$out/findings/$name"
  echo "== $name: $seconds s"
  if ! "$out/${name}_fuzz" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
        -artifact_prefix="$out/findings/$name/" "$out/corpus/$name" "fuzz/corpus/$name" 2>"$out/$name.log"; then
    tail -n 40 "$out/$name.log"
    echo "finding in $name: input kept in $out/findings/$name/, full output in $out/$name.log" >&2
    exit 1
  fi
  grep -E '^#[0-9]+[[:space:]]+DONE' "$out/$name.log" || true
done
