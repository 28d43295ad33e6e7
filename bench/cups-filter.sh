#!/usr/bin/env bash
# Throughput and peak memory of the CUPS filter qm22t-cups on a large job,
# beside cat and CUPS's own PostScript filter pstops on the same bytes.
#
# A PostScript job of the given size (default 100 MiB: pages with a page setup
# of two feature blocks and image data) is written to a scratch folder, put
# through pstops as cupsd would, and pstops's output through qm22t-cups; each
# program reads a file and writes to /dev/null. Peak resident memory comes
# from GNU time (%M). The filter keeps only a setup section and a line in
# memory, so its peak does not grow with the job.
#
# Usage: bench/cups-filter.sh [MiB]
# Exit status 1 when the filter's peak passes 32 MiB.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
mib="${1:-100}"
bound_kib=$((32 * 1024))
{
    scripts/install-deps.sh
    cmake --preset host-release
    nice -n 10 cmake --build build/host-release --target qm22t-cups package_files
} >&2
filter=build/host-release/bin/qm22t-cups
export PPD=$root/build/host-release/package-files/qm22t-cups.ppd
pstops=$(cups-config --serverbin)/filter/pstops

work="$(mktemp -d "${TMPDIR:-/tmp}/cups-filter-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

row="$(head -c 64 /dev/zero | tr '\0' 'F')"
for page in $(seq 230); do
    printf '%%%%Page: %d %d\n%%%%BeginPageSetup\n' "$page" "$page"
    for feature in ZTInputSlot ZTMediaType; do
        printf '[{\n%%%%BeginFeature: *%s Auto\n(Auto) /Custom /ProcSet findresource /%s get exec\n%%%%EndFeature\n} stopped cleartomark\n' "$feature" "$feature"
    done
    printf '%%%%EndPageSetup\n/picstr 32 string def 256 256 8 [256 0 0 256 0 0]\n{currentfile picstr readhexstring pop} image\n'
    for _ in $(seq 64); do printf '%s\n' "$row"; done
    printf 'showpage\n'
done >"$work/chunk.ps"
chunk_bytes=$(stat -c %s "$work/chunk.ps")
chunks=$(((mib * 1024 * 1024 + chunk_bytes - 1) / chunk_bytes))
{
    printf '%%!PS-Adobe-3.0\n%%%%Pages: (atend)\n%%%%EndComments\n%%%%BeginProlog\n%%%%EndProlog\n%%%%BeginSetup\n%%%%EndSetup\n'
    for _ in $(seq "$chunks"); do cat "$work/chunk.ps"; done
    printf '%%%%Trailer\n%%%%EOF\n'
} >"$work/job.ps"
"$pstops" 1 bench title 1 "" "$work/job.ps" >"$work/pstops.ps" 2>/dev/null
mib=$(($(stat -c %s "$work/job.ps") >> 20))

measure() { # label, input, command...
    local label=$1 input=$2 start end kib
    shift 2
    start=$(date +%s.%N)
    /usr/bin/time -f '%M' -o "$work/rss" "$@" <"$input" >/dev/null 2>"$work/$label.err"
    end=$(date +%s.%N)
    kib=$(tail -1 "$work/rss")
    awk -v label="$label" -v kib="$kib" -v mib="$mib" -v start="$start" -v end="$end" \
        'BEGIN { s = end - start; printf "%-12s %10.1f MiB %9.2f s %9.0f MiB/s\n", label, kib / 1024, s, mib / s }'
    echo "$kib" >"$work/$label.kib"
}

echo "job: ${mib} MiB of PostScript; each program reads a file and writes to /dev/null"
printf '%-12s %14s %11s %15s\n' program "peak RSS" time throughput
measure cat "$work/pstops.ps" cat
measure pstops "$work/job.ps" "$pstops" 1 bench title 1 ""
measure qm22t-cups "$work/pstops.ps" "$filter" 1 bench title 1 ""
peak=$(cat "$work/qm22t-cups.kib")
if [ "$peak" -gt "$bound_kib" ]; then
    echo "qm22t-cups peaked at $peak KiB, over the $bound_kib KiB bound" >&2
    exit 1
fi
