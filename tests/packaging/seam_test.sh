#!/usr/bin/env bash
# The client library seam: the client and the session tests are configured again with
# ZENTA_TLX_LIBRARY naming our tlx built as a shared library (libzenta-tlx.so.1, exporting only
# the C interface of tlx.h), must link against it and not contain tlx, and the session tests
# must pass against the stand through it.
#   seam_test.sh SOURCE BUILD LIBRARY [cmake option ...]   (the main build's type and sanitizers)
set -euo pipefail
src=$1
build=$2
library=$3
shift 3
# A sibling of the main build, so that ccache finds the objects the main build just made.
seam="$(dirname "$build")/$(basename "$build")-seam"
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$src}
export CCACHE_NOHASHDIR=1

# The client may include nothing of the library but its public interface, and the archive record
# layout beside it, which is constants only and so needs nothing of the library to link.
if grep -rnE '#include +"tlx/' "$src"/{app,dialogs,server,views,delegates,csv,support,analysis} |
    grep -vE '"tlx/(tlx|archive_layout)\.h"'; then
    echo "FAIL: the client includes tlx beyond tlx/tlx.h and tlx/archive_layout.h" >&2
    exit 1
fi
if grep -nE '^[^/#]*\(' "$src/tlx/archive_layout.h" | grep -vE 'static_assert|^[0-9]+: +[A-Za-z].*(==|&&)'; then
    echo "FAIL: tlx/archive_layout.h declares more than constants" >&2
    exit 1
fi

start=$(date +%s)
mkdir -p "$seam"
cmake -S "$src" -B "$seam" -DZENTA_TLX_LIBRARY="$library" -DZENTA_TLX_SHARED=OFF -DZENTA_WERROR=ON "$@" >"$seam/seam.log" 2>&1 ||
    { cat "$seam/seam.log" >&2; exit 1; }
cmake --build "$seam" -j2 --target zenta-oprch session_test >>"$seam/seam.log" 2>&1 || { tail -50 "$seam/seam.log" >&2; exit 1; }
echo "seam build: $(($(date +%s) - start)) s"

for program in zenta-oprch session_test; do
    dynamic=$(readelf -d "$seam/bin/$program")
    symbols=$(nm --defined-only "$seam/bin/$program")
    grep -q 'NEEDED.*\[libzenta-tlx\.so\.1\]' <<<"$dynamic" ||
        { echo "FAIL: $program does not load libzenta-tlx.so.1" >&2; exit 1; }
    # The library's code must come from the shared object, not from a copy linked in.
    if grep -qE ' T (TLXCliOpen|TLXArrayUnPack)$' <<<"$symbols"; then
        echo "FAIL: $program carries its own copy of tlx" >&2
        exit 1
    fi
done
(cd "$seam" && QT_QPA_PLATFORM=offscreen ./bin/session_test)
