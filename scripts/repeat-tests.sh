#!/usr/bin/env bash
# Runs the whole suite of an existing build N times in a row (default 20) and counts the failed runs,
# to catch tests that fail only now and then. Not part of the test command.
#   scripts/repeat-tests.sh [runs] [build folder]
set -uo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
build=${2:-build}
export QT_QPA_PLATFORM=offscreen
failed=0
for i in $(seq 1 "$runs"); do
    start=$(date +%s.%N)
    if (cd "$build" && ctest -j2 --timeout 600 --output-on-failure >"/tmp/repeat-tests-$i.log" 2>&1); then
        result=passed
    else
        result="FAILED: $(grep -E '^\s+[0-9]+ - ' "/tmp/repeat-tests-$i.log" | tr -s ' ' | tr '\n' ';')"
        failed=$((failed + 1))
    fi
    printf 'run %d: %.1f s, %s\n' "$i" "$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')" "$result"
done
echo "$failed of $runs runs failed"
[ "$failed" -eq 0 ]
