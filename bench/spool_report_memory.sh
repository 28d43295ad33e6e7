#!/usr/bin/env bash
# Peak memory of `qm22t inspect` on a large spool file, checked against the job
# it was made from.
#
# A PostScript job of the given size (default 1024 MiB: pages with setup
# sections, feature blocks and image data, CR LF lines, as the driver writes
# them) is generated on the fly and run through `qm22t run`; what reached the
# spooler is piped into `qm22t inspect --summary --job JOB -`, whose job is a
# second generation of the same bytes. Nothing touches the disk, so the number
# is that of the inspector alone. Peak resident memory comes from GNU time (%M).
#
# Usage: bench/spool_report_memory.sh [MiB]
# Exit status 1 when the inspector's peak passes 32 MiB, the bound it promises,
# or when it does not pass the spool file.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work_name=spool-report-memory
source "$root/bench/generated_job.sh"

start=$(date +%s.%N)
status=0
generate | "$qm22t" run - --date 2026-12-07 2> "$work/run.log" |
    /usr/bin/time -f '%M' -o "$work/rss" "$qm22t" inspect --summary --job <(generate) - > "$work/summary.txt" ||
    status=$?
end=$(date +%s.%N)
cat "$work/summary.txt"
kib=$(tail -1 "$work/rss")
spool_mib=$(awk '/^spool file/ { for (i = 1; i <= NF; ++i) if ($(i + 1) ~ /^bytes,?$/) { print int($i / 1048576); exit } }' "$work/summary.txt")
awk -v kib="$kib" -v mib="$spool_mib" -v start="$start" -v end="$end" \
    'BEGIN { s = end - start; printf "inspect: %d MiB spool file, peak RSS %.1f MiB, %.1f s with the run beside it\n", mib, kib / 1024, s }'
if [ "$status" -ne 0 ]; then
    echo "qm22t inspect failed the spool file (exit $status)" >&2
    exit 1
fi
if [ "$kib" -gt "$bound_kib" ]; then
    echo "qm22t inspect peaked at $kib KiB, over the $bound_kib KiB bound" >&2
    exit 1
fi
echo "qm22t inspect stayed under 32 MiB"
