#!/usr/bin/env bash
# Plants one fault at a time in a copy of the tree and runs the whole suite against it:
# a mutant the suite fails on is killed, one it passes survives. Each mutant is a small
# patch in this folder; the copy and its build are kept between runs, so only the files a
# patch touches are compiled again.
#   tests/mutants/run.sh [--work DIR] [--port N] [MUTANT.patch ...]
# Prints one line per mutant and a total; exits 1 when the unmutated suite fails.
set -euo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
work="$top/build-mutants"
port=18590
while [ $# -gt 0 ]; do
  case "$1" in
    --work) work="$2"; shift 2 ;;
    --port) port="$2"; shift 2 ;;
    *) break ;;
  esac
done
if [ $# -gt 0 ]; then patches=("$@"); else patches=("$top"/tests/mutants/*.patch); fi
for p in "${patches[@]}"; do patches_abs+=("$(cd "$(dirname "$p")" && pwd)/$(basename "$p")"); done

"$top/scripts/install-deps.sh"
src="$work/src" build="$work/build" log="$work/log"
mkdir -p "$src" "$log"
# The tree as it stands, committed or not. Compared by content and copied without their
# times, so a file an interrupted run left mutated is new to make and compiled again.
(cd "$top" && git ls-files -co --exclude-standard -z) \
  | rsync -rlpc --from0 --files-from=- "$top/" "$src/"
# Files the tree no longer has go from the copy too (a stale CMakeLists.txt would still count).
(cd "$top" && git ls-files -co --exclude-standard | sort) >"$work/files.txt"
(cd "$src" && find . -type f | sed 's|^\./||' | sort | comm -13 "$work/files.txt" - | xargs -r -d '\n' rm -f)
cmake -S "$src" -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-posix.cmake \
      -DHOLLOWMERE_SERVICE_ORIGIN="http://127.0.0.1:$port" >/dev/null

# The whole suite, the quick in-process groups first: the first failing test decides,
# and the rest would only repeat the verdict.
quick='^(unit_tests|service_tests|tls_tests)$'
run_suite() {
  local ctest=(xvfb-run -a -s "-screen 0 1280x1024x24" "$src/scripts/ctest-under-wine.sh" "$build" --stop-on-failure)
  "${ctest[@]}" -R "$quick" >"$1" 2>&1 && "${ctest[@]}" -E "$quick" >>"$1" 2>&1
}

cmake --build "$build" -j"$(nproc)" >"$log/baseline-build.txt" 2>&1
if ! run_suite "$log/baseline.txt"; then
  echo "The unmutated suite fails; see $log/baseline.txt" >&2
  exit 1
fi

killed=0 survived=0 broken=0
for patch in "${patches_abs[@]}"; do
  name="$(basename "$patch" .patch)"
  if ! (cd "$src" && patch -p1 -s --no-backup-if-mismatch <"$patch"); then
    echo "does not apply  $name"; broken=$((broken + 1)); continue
  fi
  if ! cmake --build "$build" -j"$(nproc)" >"$log/$name-build.txt" 2>&1; then
    verdict="does not build"; broken=$((broken + 1))
  elif run_suite "$log/$name.txt"; then
    verdict="survived"; survived=$((survived + 1))
  else
    # The first failing CTest entry, e.g. "launcher_tests".
    by=$(sed -n 's/^ *[0-9]*\/[0-9]* Test *#[0-9]*: \([a-z_]*\) .*\*\*\*.*/\1/p' "$log/$name.txt" | head -n 1)
    verdict="killed (${by:-?})"; killed=$((killed + 1))
  fi
  (cd "$src" && patch -p1 -R -s --no-backup-if-mismatch <"$patch")
  printf '%-28s %s\n' "$verdict" "$name"
  # The test cases that failed, so a cut of the suite knows which ones carry the kill.
  sed -n 's/^\[  FAILED  \] \([A-Za-z0-9_\/]*\.[A-Za-z0-9_.\/]*\)[ ,].*/    \1/p' "$log/$name.txt" 2>/dev/null | sort -u
done
# Leave the copy built as the tree stands, for the next run.
cmake --build "$build" -j"$(nproc)" >/dev/null 2>&1 || true
echo "killed $killed, survived $survived, broken $broken, of ${#patches_abs[@]} mutants"
