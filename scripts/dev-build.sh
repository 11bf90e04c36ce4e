#!/usr/bin/env bash
# Development build in the shared folder build-dev/, one build at a time (several people may build at once).
#   scripts/dev-build.sh [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
exec 9>/tmp/zenta-dev-build.lock
flock 9
if [ ! -f build-dev/CMakeCache.txt ]; then
    cmake -S . -B build-dev -DCMAKE_BUILD_TYPE=Debug >/dev/null
fi
targets=()
for t in "$@"; do targets+=(--target "$t"); done
log=$(mktemp)
rc=0
cmake --build build-dev -j2 "${targets[@]}" >"$log" 2>&1 || rc=$?
grep -v -E '^\[ *[0-9]+%\] (Building|Automatic|Linking|Built)' "$log" | tail -200 || true
rm -f "$log"
exit $rc
