#!/usr/bin/env bash
# Builds Benchlord if needed and starts it; arguments go to the program (try --demo).
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
"$root/scripts/ensure_deps.sh"
"$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
exec "$root/build/benchlord" "$@"
