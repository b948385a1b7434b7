#!/usr/bin/env bash
# Configures (once) and builds incrementally in the given folder: build.sh DIR [cmake -D options...]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
shift
if [ ! -f "$dir/CMakeCache.txt" ]; then
    launcher=()
    # ccache, when present, makes rebuilds in fresh folders (sanitizer builds, clean clones) cheap.
    if command -v ccache >/dev/null 2>&1; then
        launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    cmake -S "$root" -B "$dir" "${launcher[@]}" "$@" >/dev/null || exit 1
fi
jobs=$(nproc 2>/dev/null || echo 2)
# Progress lines are noise; warnings and errors still show.
cmake --build "$dir" -j "$jobs" 2>&1 | grep -v -E '^\[ *[0-9]+%\]|^Consolidate compiler|Automatic MOC|^Scanning'
exit "${PIPESTATUS[0]}"
