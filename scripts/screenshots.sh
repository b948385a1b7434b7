#!/usr/bin/env bash
# Takes the README's pictures again: starts the window offscreen against the virtual supply (as
# --demo does), lets the trend fill for half a minute, and writes docs/screenshot.png, one
# docs/panel-*.png per side panel, docs/autotest.png, docs/history.png and the Plans window's
# docs/plans*.png (a charge plan, the charge running, a sweep, a ramp) and docs/bench.png (the
# two-supply demo bench). Settings go to a temporary folder, so the user's own are never read or
# changed. Builds in build/ (as run.sh does).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/ensure_deps.sh"
dir="$root/build"
if [ ! -f "$dir/CMakeCache.txt" ]; then
    launcher=()
    if command -v ccache >/dev/null 2>&1; then
        launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
fi
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" --target benchlord_screenshots 2>&1 |
    grep -v -E '^\[ *[0-9]+%\]|Automatic MOC|^Scanning' || true
[ "${PIPESTATUS[0]}" -eq 0 ] || exit 1

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home" \
    QT_QPA_PLATFORM=offscreen "$dir/benchlord_screenshots" "$root/docs"
