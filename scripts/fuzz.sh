#!/usr/bin/env bash
# Runs every fuzz target for the given number of seconds (default 60) with ASan + UBSan and leak
# detection; fails on any crash, leak or sanitizer report.
#   scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
"$(dirname "$0")/install-deps.sh"
command -v clang++ >/dev/null || { sudo_cmd=(); [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo);
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq clang libclang-rt-14-dev; }

build=build-fuzz
cmake -S . -B "$build" -DZENTA_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
targets=$(sed -n 's/^zenta_add_fuzzer(\([a-z_]*\).*/\1/p' fuzz/CMakeLists.txt)
for t in $targets; do cmake --build "$build" -j"$(nproc)" --target "$t"; done

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=0
printf '%-22s %12s %10s %s\n' target executions seconds result
for t in $targets; do
    seeds=fuzz/corpus/${t#fuzz_}
    work=$build/corpus/$t
    mkdir -p "$work" "$build/artifacts/$t"
    log=$build/$t.log
    if "$build/bin/$t" "$work" "$seeds" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=4096 \
        -artifact_prefix="$build/artifacts/$t/" -print_final_stats=1 >"$log" 2>&1; then
        result=ok
    else
        result="FAILED (see $log)"
        failed=1
    fi
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    printf '%-22s %12s %10s %s\n' "$t" "${execs:-?}" "$seconds" "$result"
done
exit $failed
