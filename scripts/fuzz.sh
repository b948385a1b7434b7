#!/usr/bin/env bash
# Builds the libFuzzer targets under fuzz/ with clang, ASan and UBSan (in build-fuzz/) and runs
# each for SECONDS (default 60): scripts/fuzz.sh [SECONDS] [TARGET...]. New inputs collect in
# build-fuzz/corpus/<target>/ (seeded from fuzz/corpus/<target>/), crashes in
# build-fuzz/crashes/<target>/, logs in build-fuzz/logs/. Prints executions and coverage per
# target; exits non-zero when a target crashed. Add a crash's input to the seed corpus once it
# is fixed: ./test.sh then replays it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
case "$seconds" in '' | *[!0-9]*) echo "usage: fuzz.sh [SECONDS] [TARGET...]" >&2; exit 2 ;; esac

"$root/scripts/ensure_deps.sh" --fuzz
dir="$root/build-fuzz"
if [ ! -f "$dir/CMakeCache.txt" ]; then
    launcher=()
    if command -v ccache >/dev/null 2>&1; then
        launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    CC=clang CXX=clang++ cmake -S "$root" -B "$dir" "${launcher[@]}" -DBENCHLORD_FUZZ=ON \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" --target fuzzers 2>&1 |
    grep -v -E '^\[ *[0-9]+%\]|^Consolidate compiler|Automatic MOC|^Scanning' || true
[ "${PIPESTATUS[0]}" -eq 0 ] || exit 1

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for src in "$root"/fuzz/*_fuzz.cpp; do
        name=$(basename "$src" .cpp)
        targets+=("${name%_fuzz}")
    done
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p "$dir/logs"
failed=()
printf '%-16s %12s %8s %8s %s\n' target executions cov ft result
for t in "${targets[@]}"; do
    corpus="$dir/corpus/$t"
    crashes="$dir/crashes/$t"
    mkdir -p "$corpus" "$crashes"
    log="$dir/logs/$t.log"
    result=ok
    if ! "$dir/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$crashes/" "$corpus" "$root/fuzz/corpus/$t" >"$log" 2>&1; then
        result="CRASH (see $log and $crashes)"
        failed+=("$t")
    fi
    execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
    last=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
    cov=$(grep -o 'cov: [0-9]*' <<<"$last" | grep -o '[0-9]*' || true)
    ft=$(grep -o 'ft: [0-9]*' <<<"$last" | grep -o '[0-9]*' || true)
    printf '%-16s %12s %8s %8s %s\n' "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$result"
done
[ ${#failed[@]} -eq 0 ] || { echo "crashed: ${failed[*]}" >&2; exit 1; }
