#!/usr/bin/env bash
# Runs a command several times in a row while busy loops keep the cores occupied, as
# on a machine where other builds run; prints each run's result and the count of failures.
#   tests/under-load.sh [--loops N] [--times M] command [arguments...]
# e.g. tests/under-load.sh --times 20 ./scripts/test.sh -R crash_tests
set -uo pipefail
loops=2 times=5
while [ $# -gt 0 ]; do
  case "$1" in
    --loops) loops="$2"; shift 2 ;;
    --times) times="$2"; shift 2 ;;
    *) break ;;
  esac
done
pids=()
for _ in $(seq "$loops"); do yes >/dev/null & pids+=($!); done
trap 'kill "${pids[@]}" 2>/dev/null' EXIT
failed=0
for run in $(seq "$times"); do
  start=$(date +%s)
  if "$@" >"/tmp/under-load-$run.log" 2>&1; then result=passed; else result=FAILED; failed=$((failed + 1)); fi
  echo "run $run: $result in $(( $(date +%s) - start )) s (log /tmp/under-load-$run.log)"
done
echo "$failed of $times runs failed with $loops busy loops"
[ "$failed" -eq 0 ]
