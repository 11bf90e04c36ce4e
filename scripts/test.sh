#!/usr/bin/env bash
# Installs what is missing, builds and runs every test headless.
#   scripts/test.sh              checks the formatting, builds in build/ with warnings as errors, runs every test
#   scripts/test.sh --sanitize   ASan + UBSan build in build-sanitize/, every test
#   scripts/test.sh --tsan       ThreadSanitizer build in build-tsan/, the tests of tlx, the stand and the load
set -euo pipefail
cd "$(dirname "$0")/.."

"$(dirname "$0")/install-deps.sh"

mode=${1:-}
build=build
cmake_args=(-DZENTA_WERROR=ON)
ctest_args=()
case "$mode" in
"")
    # Every tracked source must already be formatted: a diff here fails the run before the build.
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
    else
        find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format --dry-run --Werror
    fi
    ;;
--sanitize)
    build=build-sanitize
    cmake_args+=(-DZENTA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    ;;
--tsan)
    build=build-tsan
    cmake_args+=(-DZENTA_TSAN=ON -DCMAKE_BUILD_TYPE=Debug)
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp"
    ctest_args+=(-R '^(tlx_|stand_|load_)')
    ;;
*)
    echo "usage: $0 [--sanitize | --tsan]" >&2
    exit 2
    ;;
esac

# Paths relative to the tree and no working folder in the hash, so that the client library seam test's
# second build of the client finds this build's objects in ccache.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
cmake -S . -B "$build" "${cmake_args[@]}"
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j2 --timeout 600 "${ctest_args[@]}"
