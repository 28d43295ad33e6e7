#!/usr/bin/env bash
# Runs the fault sweeps under AddressSanitizer with leak detection (preset
# host-asan): a failure at every call the plug-in makes into the system, a
# failed allocation at every allocation it makes, and the table of hostile
# callers; then the concurrent-jobs test, when it is built. Prints, last, one
# line:
#   faults: functions=F calls=C allocations=A concurrent_jobs=J crashes=0 leaks=0 hangs=0 silent_losses=0 races=0
# where every number after J counts failures of the properties (a crashed or
# sanitizer-stopped program counts as a crash). Exits non-zero when one is not 0.
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
preset="${FAULT_SWEEP_PRESET:-host-asan}"
bin="build/$preset/bin"

if [ ! -f "build/$preset/build.ninja" ]; then
    cmake --preset "$preset" >/dev/null || exit 1
fi
# The concurrent-jobs test is built too where the tree has it.
cmake --build --preset "$preset" --target faults_tests concurrency_tests >/dev/null 2>&1 ||
    cmake --build --preset "$preset" --target faults_tests >/dev/null || {
    echo "fault-sweep: the sweep program does not build" >&2
    exit 1
}

crashes=0 leaks=0 hangs=0 silent=0 races=0
log="$(mktemp)"
trap 'rm -f "$log"' EXIT

# One run of a program; its exit code says how it ended (124: the timeout, or
# the sweep's own watchdog, ran out).
run() {
    ASAN_OPTIONS="detect_leaks=1:${ASAN_OPTIONS:-}" timeout 55 "$@" >"$log" 2>&1
    local status=$?
    cat "$log"
    if [ "$status" -eq 124 ]; then
        hangs=$((hangs + 1))
    elif grep -q "LeakSanitizer" "$log"; then
        leaks=$((leaks + 1))
    elif grep -qE "ERROR: AddressSanitizer|runtime error:" "$log" || [ "$status" -gt 128 ]; then
        crashes=$((crashes + 1))
    fi
    return 0
}

# key=value from the last line that starts with $1; 0 when there is none.
field() {
    local value
    value=$(grep "^$1" "$log" | tail -1 | tr ' ' '\n' | sed -n "s/^$2=//p")
    echo "${value:-0}"
}

run "$bin/faults_tests"
if ! grep -q "^call-sweep" "$log" || ! grep -q "^alloc-sweep" "$log" || ! grep -q "^hostile-callers" "$log"; then
    # A sweep that stopped before its count line: its failures are unknown.
    crashes=$((crashes + 1))
fi
functions=$(field call-sweep functions)
calls=$(field call-sweep calls)
allocations=$(field alloc-sweep allocations)
crashes=$((crashes + $(field call-sweep exceptions) + $(field alloc-sweep exceptions)))
leaks=$((leaks + $(field call-sweep leaks) + $(field alloc-sweep leaks)))
silent=$((silent + $(field call-sweep silent_losses) + $(field call-sweep disorder) + $(field call-sweep lost_errors) \
    + $(field call-sweep next_job_failures) + $(field alloc-sweep silent_losses) + $(field alloc-sweep next_job_failures) \
    + $(field hostile-callers failures)))

# The concurrent-jobs test prints "concurrency-summary: jobs=J mismatches=M".
jobs=0
if [ -x "$bin/concurrency_tests" ]; then
    run "$bin/concurrency_tests"
    jobs=$(field concurrency-summary jobs)
    races=$(field concurrency-summary mismatches)
    # Without its summary line the test did not finish: nothing is known.
    grep -q "^concurrency-summary" "$log" || races=$((races + 1))
    if grep -q "WARNING: ThreadSanitizer" "$log"; then races=$((races + $(grep -c "WARNING: ThreadSanitizer" "$log"))); fi
else
    echo "fault-sweep: $bin/concurrency_tests is not built: concurrent_jobs=0, no races looked for"
fi

echo "faults: functions=$functions calls=$calls allocations=$allocations concurrent_jobs=$jobs crashes=$crashes leaks=$leaks hangs=$hangs silent_losses=$silent races=$races"
[ $((crashes + leaks + hangs + silent + races)) -eq 0 ]
