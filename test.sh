#!/usr/bin/env bash
# Builds and runs every test. --sanitize=address (ASan + UBSan) or --sanitize=thread builds in a
# folder of its own and runs the same tests. Exits non-zero when anything fails.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
sanitize=""
ctest_args=()
for arg in "$@"; do
    case "$arg" in
        --sanitize=address|--sanitize=thread) sanitize=${arg#--sanitize=} ;;
        --sanitize=*) echo "unknown sanitizer: ${arg#--sanitize=} (use address or thread)" >&2; exit 2 ;;
        *) ctest_args+=("$arg") ;;
    esac
done

"$root/scripts/ensure_deps.sh"

dir="$root/build-test"
# The benchmarks are built with the tests, so that none of them falls behind the code it measures.
opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DBENCHLORD_BUILD_BENCH=ON)
if [ -n "$sanitize" ]; then
    dir="$root/build-$sanitize"
    opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DBENCHLORD_SANITIZE="$sanitize")
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
    export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
    export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/tsan.supp}
    export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp}
fi
"$root/scripts/build.sh" "$dir" "${opts[@]}"

export QT_QPA_PLATFORM=offscreen
cd "$dir"
ctest --output-on-failure --timeout 180 -j "$(nproc 2>/dev/null || echo 2)" "${ctest_args[@]}"

# The Debian package, when the packaging tools are there (not for sanitizer builds or a
# selection of tests). It is made from the programs just tested, so no second tree is built;
# scripts/package.sh makes the Release package for installing.
if [ -z "$sanitize" ] && [ ${#ctest_args[@]} -eq 0 ] && command -v lintian >/dev/null 2>&1 &&
    command -v desktop-file-validate >/dev/null 2>&1 && command -v appstreamcli >/dev/null 2>&1; then
    BENCHLORD_PACKAGE_DIR="$dir" "$root/scripts/check_package.sh"
fi
