#!/usr/bin/env bash
# Builds in release, runs every benchmark under bench/ and prints one table of their figures.
# Each benchmark starts its own zenta-stand (built here) on a free loopback port and prints lines
#   FIGURE|<figure>|<value>|<target>|<limit or peer>
# which this script gathers; everything else a benchmark prints goes to build-bench/<name>.log.
set -euo pipefail
cd "$(dirname "$0")/.."
"$(dirname "$0")/install-deps.sh"
build=build-bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
benches=$(sed -n 's/^add_executable(\([A-Za-z0-9_]*\).*/\1/p' bench/*/CMakeLists.txt)
cmake --build "$build" -j"$(nproc)" --target zenta-stand $benches
export QT_QPA_PLATFORM=offscreen
table=$(mktemp)
status=0
for b in $benches; do
    echo "running $b ..." >&2
    if ! (cd "$build" && "./bin/$b" >"$b.log" 2>&1); then
        echo "$b FAILED (see $build/$b.log)" >&2
        status=1
    fi
    grep -a '^FIGURE|' "$build/$b.log" | sed "s/^FIGURE|/$b|/" >>"$table" || true
done
echo
printf '%-16s | %-58s | %14s | %-16s | %s\n' benchmark figure value target "limit / peer"
printf '%s\n' "$(printf -- '-%.0s' {1..140})"
while IFS='|' read -r bench figure value target limit; do
    printf '%-16s | %-58s | %14s | %-16s | %s\n' "$bench" "$figure" "$value" "$target" "$limit"
done <"$table"
rm -f "$table"
exit $status
