#!/usr/bin/env bash
# The stream filter beside the tools a user would otherwise run over the same
# PostScript: `cat` (the floor: copying bytes) and CUPS's `pstops` (a DSC
# filter). Generated jobs with text, hexadecimal and binary page bodies and
# with long setup sections, a job that is one line, one whose setup section
# holds one long line and one with LF-only line ends; the filter alone
# (bench/filter_peers.cpp, Release build) at every write size, cat and pstops
# as whole processes on the same files. Prints one table, then exactly one
# summary line:
#
#   summary: min_filter_MBps=N small_write_MBps=S pstops_ratio=R cat_ratio=C
#            section_linearity=L job_linearity=J peak_rss_MB=M long_line_rss_MB=K
#            section_line_linearity=X section_line_rss_MB=Y
#
#   N  the lowest filter figure over writes of 1 KiB up to the whole job in one
#      call, text, hexadecimal and binary bodies (100 MiB jobs; goal: 2000)
#   S  the lowest of the text, hexadecimal and binary figures at 64-byte
#      writes (goal: 600)
#   R  the filter's throughput over pstops' on the 100 MiB text job (4 KiB writes)
#   C  the same over cat's
#   L  the cost of a 16 MiB setup section over 16 times a 1 MiB one (the worse
#      of a resource inside an open feature block and behind closed ones; 1.0
#      is perfectly linear)
#   J  the cost of a 1 GiB job over 10 times a 100 MiB one (one call and 4 KiB
#      writes, the worse)
#   M  the filter's peak resident memory (anonymous; the job file is mapped) on
#      the 1 GiB job, one call and 4 KiB writes, the larger
#   K  the same on a 1 GiB job whose page body is one line and on a 1 GiB job
#      with LF-only line ends (the largest of the four runs; at most 16 MB)
#   X  the time of a 100 MiB line inside a document setup section over that of
#      a 100 MiB line in a page body, the worse of 64 B, 4 KiB and 64 KiB writes
#      (a few at most: the line goes out as it arrives in both)
#   Y  the filter's peak resident memory over those three runs (at most 16 MB)
#
# Times are CPU times (the filter's thread; user and system time of cat and
# pstops). Each filter case repeats its job until it has run at least 0.3 s
# and gives the time of one pass, and the figure is the median of five such
# runs: the machines are shared and other load must not count. Needs about
# 3.7 GB in the temporary folder and a few minutes.
# Usage: bench/filter-vs-peers.sh [--quick]   (--quick: 100 MiB instead of 1 GiB)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
big_mib=1000
[ "${1:-}" = "--quick" ] && big_mib=200

{
    scripts/install-deps.sh
    # pstops is wanted here only, not for building or testing; which package
    # ships it depends on the release.
    export DEBIAN_FRONTEND=noninteractive
    for package in cups-core-drivers cups-filters-core-drivers; do
        [ -x /usr/lib/cups/filter/pstops ] && break
        apt-get update -q
        apt-get install -y -q --no-install-recommends "$package" || true
    done
    if [ ! -x /usr/lib/cups/filter/pstops ]; then
        echo "filter-vs-peers: no package provides /usr/lib/cups/filter/pstops" >&2
        exit 1
    fi
    cmake --preset host-release
    cmake --build --preset host-release --target filter_peers
} >&2
tool="$root/build/host-release/bin/filter_peers"
pstops=/usr/lib/cups/filter/pstops

work="$(mktemp -d "${TMPDIR:-/tmp}/filter-peers.XXXXXX")"
trap 'rm -rf "$work"' EXIT

for kind in text hex binary; do "$tool" job "$kind" 100 "$work/$kind.ps"; done
"$tool" job text "$big_mib" "$work/big.ps"
"$tool" job line "$big_mib" "$work/line.ps"
"$tool" job line 100 "$work/line-100.ps"
"$tool" job sectionline 100 "$work/section-line-100.ps"
"$tool" job lf "$big_mib" "$work/lf.ps"
for kind in open closed; do
    "$tool" section "$kind" 1 "$work/section-$kind-1.ps"
    "$tool" section "$kind" 16 "$work/section-$kind-16.ps"
done

# median FILE WRITE -> "MBps seconds peak_kB": five runs of at least 0.3 s
# each, the run of the median time, with the largest peak of the five
median() {
    local runs="" peak=0
    for _ in 1 2 3 4 5; do
        local line
        line="$("$tool" run "$1" "$2" 0.3)"
        line="$(sed -E 's/filter_MBps=([0-9]+) seconds=([0-9.]+) peak_anon_kB=([0-9]+).*/\1 \2 \3/' <<<"$line")"
        runs+="$line"$'\n'
    done
    peak=$(awk 'NF == 3 && $3 > p { p = $3 } END { print p + 0 }' <<<"$runs")
    sort -k2,2g <<<"$runs" | awk -v p="$peak" 'NF == 3 { n++; line[n] = $1 " " $2 } END { print line[3], p }'
}

# whole-process MB/s of a command reading FILE, by the CPU time (user and
# system) it took, as the filter's figures are: ten runs timed together (the
# clock counts in hundredths of a second), the median of five such rounds
process_mbps() {
    local file="$1"
    shift
    local bytes times=""
    bytes=$(stat -c %s "$file")
    for _ in 1 2 3 4 5; do
        /usr/bin/time -f '%U %S' -o "$work/cpu" \
            bash -c 'file="$1"; shift; for _ in 1 2 3 4 5 6 7 8 9 10; do "$@" < "$file" > /dev/null 2>&1; done' \
            run "$file" "$@" || true
        times+="$(awk '{ printf "%.4f", ($1 + $2) / 10 }' "$work/cpu")"$'\n'
    done
    sort -g <<<"$times" | awk -v n="$bytes" 'NF { t[++k] = $1 } END { s = t[3]; if (s <= 0) s = 0.001; printf "%.0f", n / s / 1e6 }'
}

printf '%-28s %10s %10s %12s\n' "job / write size" "MB/s" "seconds" "peak kB"
min_mbps=""
small=""
declare -A text_4k
for kind in text hex binary; do
    for write in 64 1024 4096 65536 1048576 0; do
        read -r mbps seconds peak < <(median "$work/$kind.ps" "$write")
        label="$kind, ${write} B"
        [ "$write" = 0 ] && label="$kind, one call"
        printf '%-28s %10s %10s %12s\n' "$label" "$mbps" "$seconds" "$peak"
        if [ "$write" = 64 ]; then
            if [ -z "$small" ] || [ "$mbps" -lt "$small" ]; then small=$mbps; fi
        elif [ -z "$min_mbps" ] || [ "$mbps" -lt "$min_mbps" ]; then
            min_mbps=$mbps
        fi
        [ "$kind" = text ] && [ "$write" = 4096 ] && text_4k[mbps]=$mbps && text_4k[seconds]=$seconds
    done
done

cat_mbps=$(process_mbps "$work/text.ps" cat)
pstops_mbps=$(process_mbps "$work/text.ps" "$pstops" 1 bench bench 1 "")
printf '%-28s %10s\n' "cat, text job" "$cat_mbps" "pstops, text job" "$pstops_mbps"

# Linearity: the bigger input's cost over the smaller's, divided by the size ratio.
ratio() { awk -v a="$1" -v b="$2" -v n="$3" 'BEGIN { printf "%.2f", (a / b) / n }'; }
section_linearity=0
for kind in open closed; do
    read -r _ s1 _ < <(median "$work/section-$kind-1.ps" 4096)
    read -r _ s16 _ < <(median "$work/section-$kind-16.ps" 4096)
    l=$(ratio "$s16" "$s1" 16)
    printf '%-28s %10s\n' "section $kind, 16 MiB / 1 MiB" "$l"
    section_linearity=$(awk -v a="$l" -v b="$section_linearity" 'BEGIN { print (a > b) ? a : b }')
done
job_linearity=0
peak_kb=0
for write in 0 4096; do
    read -r _ s_small _ < <(median "$work/text.ps" "$write")
    read -r mbps s_big peak < <(median "$work/big.ps" "$write")
    l=$(ratio "$s_big" "$s_small" $((big_mib / 100)))
    printf '%-28s %10s %10s %12s  (linearity %s)\n' "text ${big_mib} MiB, ${write} B" "$mbps" "$s_big" "$peak" "$l"
    job_linearity=$(awk -v a="$l" -v b="$job_linearity" 'BEGIN { print (a > b) ? a : b }')
    [ "$peak" -gt "$peak_kb" ] && peak_kb=$peak
done

long_kb=0
for kind in line lf; do
    for write in 0 4096; do
        read -r mbps s_big peak < <(median "$work/$kind.ps" "$write")
        label="one line"
        [ "$kind" = lf ] && label="LF-only"
        printf '%-28s %10s %10s %12s\n' "$label ${big_mib} MiB, ${write} B" "$mbps" "$s_big" "$peak"
        [ "$peak" -gt "$long_kb" ] && long_kb=$peak
    done
done

# A 100 MiB line inside a setup section against one in a page body.
section_line_linearity=0
section_line_kb=0
for write in 64 4096 65536; do
    read -r _ s_body _ < <(median "$work/line-100.ps" "$write")
    read -r mbps s_section peak < <(median "$work/section-line-100.ps" "$write")
    l=$(ratio "$s_section" "$s_body" 1)
    printf '%-28s %10s %10s %12s  (against a page body %s)\n' "section line 100 MiB, ${write} B" "$mbps" \
        "$s_section" "$peak" "$l"
    section_line_linearity=$(awk -v a="$l" -v b="$section_line_linearity" 'BEGIN { print (a > b) ? a : b }')
    [ "$peak" -gt "$section_line_kb" ] && section_line_kb=$peak
done

pstops_ratio=$(awk -v a="${text_4k[mbps]}" -v b="$pstops_mbps" 'BEGIN { printf "%.2f", a / b }')
cat_ratio=$(awk -v a="${text_4k[mbps]}" -v b="$cat_mbps" 'BEGIN { printf "%.2f", a / b }')
peak_mb=$(awk -v k="$peak_kb" 'BEGIN { printf "%.1f", k / 1024 }')
long_mb=$(awk -v k="$long_kb" 'BEGIN { printf "%.1f", k / 1024 }')
section_line_mb=$(awk -v k="$section_line_kb" 'BEGIN { printf "%.1f", k / 1024 }')
echo "summary: min_filter_MBps=$min_mbps small_write_MBps=$small pstops_ratio=$pstops_ratio cat_ratio=$cat_ratio" \
    "section_linearity=$section_linearity job_linearity=$job_linearity peak_rss_MB=$peak_mb long_line_rss_MB=$long_mb" \
    "section_line_linearity=$section_line_linearity section_line_rss_MB=$section_line_mb"
