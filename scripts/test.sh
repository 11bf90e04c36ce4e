#!/usr/bin/env bash
# Installs what is missing, builds and runs every test headless.
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   ASan + UBSan build in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")/.."

"$(dirname "$0")/install-deps.sh"

build=build
cmake_args=()
if [ "${1:-}" = "--sanitize" ]; then
    build=build-sanitize
    cmake_args+=(-DZENTA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi

cmake -S . -B "$build" "${cmake_args[@]}"
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j2 --timeout 600
