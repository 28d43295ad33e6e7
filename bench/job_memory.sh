#!/usr/bin/env bash
# Peak memory of `qm22t run` on a large job, beside `cat` on the same bytes.
#
# A PostScript job of the given size (default 1024 MiB) is generated on the fly
# (pages with setup sections and image data, CR LF lines, as the driver writes
# them) and piped to standard input; what reaches the spooler goes to
# /dev/null. The job never touches the disk, so the numbers are those of the
# two programs alone. Peak resident memory comes from GNU time (%M).
#
# Usage: bench/job_memory.sh [MiB]
# Exit status 1 when qm22t's peak passes 32 MiB, the bound the tool promises.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work_name=job-memory
source "$root/bench/generated_job.sh"

measure() {  # label, command...
    local label="$1"
    shift
    local start end
    start=$(date +%s.%N)
    generate | /usr/bin/time -f '%M' -o "$work/rss" "$@" > /dev/null
    end=$(date +%s.%N)
    local kib
    kib=$(tail -1 "$work/rss")
    awk -v label="$label" -v kib="$kib" -v mib="$mib" -v start="$start" -v end="$end" \
        'BEGIN { s = end - start; printf "%-10s %10.1f MiB %9.1f s %9.0f MiB/s\n", label, kib / 1024, s, mib / s }'
    echo "$kib" > "$work/$label.kib"
}

mib=$(( (chunks * chunk_bytes) >> 20 ))
echo "job: ${mib} MiB generated on the fly and piped to standard input; output to /dev/null"
printf '%-10s %14s %11s %15s\n' program "peak RSS" time throughput
measure cat cat
measure qm22t "$qm22t" run - --out /dev/null
peak=$(cat "$work/qm22t.kib")
if [ "$peak" -gt "$bound_kib" ]; then
    echo "qm22t run peaked at $peak KiB, over the $bound_kib KiB bound" >&2
    exit 1
fi
echo "qm22t run stayed under 32 MiB (the host build is Debug: time is not its best)"
