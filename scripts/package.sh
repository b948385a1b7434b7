#!/usr/bin/env bash
# Builds a Release tree in build-package/ and from it the Debian package
# build-package/benchlord_<version>_<architecture>.deb (dependencies computed from the shared
# libraries by dpkg-shlibdeps). Install it with: sudo apt install ./build-package/benchlord_*.deb
# The maintainer is taken from DEBFULLNAME and DEBEMAIL as Debian's tools take it. Arguments are
# CMake options for the metadata, e.g.
#   package.sh -DBENCHLORD_HOMEPAGE=https://... -DBENCHLORD_SCREENSHOT_URL=https://.../main.png \
#              -DBENCHLORD_MAINTAINER="Name <address>"
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${BENCHLORD_PACKAGE_DIR:-$root/build-package}

"$root/scripts/ensure_deps.sh"

if [ ! -f "$dir/CMakeCache.txt" ]; then
    launcher=()
    if command -v ccache >/dev/null 2>&1; then
        launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    # Only the programs and their files are built; the tests are not part of the package.
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
        -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "${launcher[@]}" "$@" >/dev/null
else
    # Again each time: the maintainer is read from the environment (DEBFULLNAME, DEBEMAIL).
    cmake -S "$root" -B "$dir" "$@" >/dev/null
fi
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" \
    --target benchlord benchlordctl benchlord-sim benchlord_packaging_files 2>&1 |
    grep -v -E '^\[ *[0-9]+%\]|Automatic MOC|^Scanning' || true
[ "${PIPESTATUS[0]}" -eq 0 ] || exit 1
rm -f "$dir"/benchlord_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/benchlord_*.deb
