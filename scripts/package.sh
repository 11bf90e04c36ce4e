#!/usr/bin/env bash
# Builds the Debian packages zenta-oprch and zenta-stand in release into build-package/ and checks
# them with lintian when it is installed. Install them with: sudo apt install ./build-package/*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
"$(dirname "$0")/install-deps.sh"
build=build-package
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DZENTA_TLX_SHARED=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target zenta-oprch zenta-stand zenta_install_files
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB -B "$PWD" >/dev/null)
ls -l "$build"/*.deb
if command -v lintian >/dev/null; then
    lintian "$build"/*.deb
fi
