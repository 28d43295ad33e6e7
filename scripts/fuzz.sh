#!/usr/bin/env bash
# Builds the fuzz targets with clang (preset fuzz: libFuzzer, AddressSanitizer
# and UBSan, folder build/fuzz) and runs one or all of them.
#
#   scripts/fuzz.sh [TARGET] [SECONDS]
#
# TARGET is one of stream, rewrite, pjl, devmode, paperlist, settings, or all (default);
# SECONDS is the time per target (default 60). Each target starts from its seed
# corpus (fuzz/corpus/TARGET) and regression inputs (fuzz/regression/TARGET);
# inputs it finds are kept in build/fuzz/work/TARGET for later runs. A fault is
# saved under build/fuzz/artifacts/TARGET/. Exits non-zero when any target
# found a fault or could not run. Further libFuzzer options can be given in
# FUZZ_OPTIONS (e.g. FUZZ_OPTIONS="-jobs=2").
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

all_targets=(stream rewrite pjl devmode paperlist settings)
target="${1:-all}"
seconds="${2:-60}"

if [ "$target" = "all" ]; then
    targets=("${all_targets[@]}")
else
    case " ${all_targets[*]} " in
        *" $target "*) targets=("$target") ;;
        *)
            echo "usage: scripts/fuzz.sh [stream|rewrite|pjl|devmode|paperlist|settings|all] [SECONDS]" >&2
            exit 2
            ;;
    esac
fi
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
    echo "fuzz: SECONDS must be a positive whole number, not '$seconds'" >&2
    exit 2
fi

scripts/install-deps.sh >&2

cmake --preset fuzz >/dev/null
programs=()
for t in "${targets[@]}"; do programs+=("fuzz_$t"); done
nice -n 10 cmake --build --preset fuzz --target "${programs[@]}"

# Leaks count as faults; UBSan stops at its first finding (-fno-sanitize-recover).
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"

# Properties that known open faults break (fuzz/known-failing/open-faults.txt)
# are not checked here, so a run searches for new faults; the replay of the
# stored inputs in the normal test run checks everything.
if [ -z "${FUZZ_OPEN_FAULTS+set}" ] && [ -f fuzz/known-failing/open-faults.txt ]; then
    FUZZ_OPEN_FAULTS="$(sed -e 's/#.*//' fuzz/known-failing/open-faults.txt | xargs)"
    export FUZZ_OPEN_FAULTS
    [ -n "$FUZZ_OPEN_FAULTS" ] && echo "fuzz: open faults not checked: $FUZZ_OPEN_FAULTS"
fi

failed=()
for t in "${targets[@]}"; do
    work="build/fuzz/work/$t"
    artifacts="build/fuzz/artifacts/$t"
    log="build/fuzz/$t.log"
    mkdir -p "$work" "$artifacts"
    dict="fuzz/fuzz.dict"
    max_len=4096
    case "$t" in
        stream | rewrite) max_len=16384 ;;
        paperlist) dict="fuzz/paperlist.dict"; max_len=8192 ;;
    esac
    echo
    echo "=== fuzz $t: ${seconds} s ==="
    status=0
    # New inputs go to the first folder only; the stored corpus stays as it is.
    # shellcheck disable=SC2086
    nice -n 10 "build/fuzz/bin/fuzz_$t" "$work" "fuzz/corpus/$t" "fuzz/regression/$t" \
        -dict="$dict" -max_len="$max_len" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" ${FUZZ_OPTIONS:-} >"$log" 2>&1 || status=$?
    # The run's statistics: the last status line and the final counters.
    grep -E '^#[0-9]+.*(DONE|pulse|NEW|REDUCE)' "$log" | tail -n 1 || true
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
    if [ "$status" -ne 0 ]; then
        echo "fuzz $t: FAULT (exit $status); log $log, reproducer in $artifacts/" >&2
        grep -m1 -E -A30 'FUZZ PROPERTY VIOLATED|ERROR: AddressSanitizer|ERROR: LeakSanitizer|runtime error|ERROR: libFuzzer' \
            "$log" | head -n 40 >&2 || true
        grep -E 'Test unit written to' "$log" >&2 || true
        failed+=("$t")
    else
        echo "fuzz $t: clean"
    fi
done

echo
if [ "${#failed[@]}" -ne 0 ]; then
    echo "fuzz: faults found by: ${failed[*]}" >&2
    exit 1
fi
echo "fuzz: ${#targets[@]} target(s) ran clean for ${seconds} s each"
