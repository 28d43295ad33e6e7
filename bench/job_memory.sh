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
cd "$root"
mib="${1:-1024}"
bound_kib=$((32 * 1024))

{
    scripts/install-deps.sh
    cmake --preset host
    nice -n 10 cmake --build build/host --target qm22t
} >&2
qm22t="$root/build/host/bin/qm22t"

work="$(mktemp -d /tmp/job-memory.XXXXXX)"
trap 'rm -rf "$work"' EXIT

# About one MiB of pages: each page has its comments, a page setup section with
# two feature blocks and 64 lines of image data.
row="$(head -c 64 /dev/zero | tr '\0' 'F')"
for page in $(seq 230); do
    printf '%%%%Page: %d %d\r\n%%%%ViewingOrientation: 1 0 0 1\r\n%%%%EndPageComments\r\n' "$page" "$page"
    printf '%%%%BeginPageSetup\r\n'
    for feature in ZTInputSlot ZTMediaType; do
        printf 'featurebegin{\r\n%%%%BeginFeature: *%s Auto\r\n(Auto) /Custom /ProcSet findresource /%s get exec\r\n%%%%EndFeature\r\n}featurecleanup\r\n' "$feature" "$feature"
    done
    printf '%%%%EndPageSetup\r\n/picstr 32 string def 256 256 8 [256 0 0 256 0 0]\r\n{currentfile picstr readhexstring pop} image\r\n'
    for _ in $(seq 64); do printf '%s\r\n' "$row"; done
    printf 'showpage\r\n'
done > "$work/chunk.ps"
chunk_bytes=$(stat -c %s "$work/chunk.ps")
# Whole chunks up to the size asked for.
chunks=$(( (mib * 1024 * 1024 + chunk_bytes - 1) / chunk_bytes ))

generate() {
    printf '%%!PS-Adobe-3.0\r\n%%%%Pages: (atend)\r\n%%%%EndComments\r\n%%%%BeginSetup\r\n'
    printf 'featurebegin{\r\n%%%%BeginFeature: *ZTDuplex OFF\r\n(OFF) /Custom /ProcSet findresource /ZTDuplex get exec\r\n%%%%EndFeature\r\n}featurecleanup\r\n'
    printf '%%%%EndSetup\r\n'
    for _ in $(seq "$chunks"); do cat "$work/chunk.ps"; done
    printf '%%%%Trailer\r\n%%%%EOF\r\n'
}

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
