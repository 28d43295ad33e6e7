# Sourced by the memory benchmarks after they set $root and $work_name: builds
# the host qm22t ($qm22t), reads the job's size in MiB from the script's first
# argument ($mib, default 1024), sets the bound both tools promise ($bound_kib),
# makes a scratch folder ($work, removed on exit) and defines generate, which
# writes a PostScript job of about $mib MiB to standard output as the driver
# writes it, generated on the fly so it never touches the disk.
cd "$root"
mib="${1:-1024}"
bound_kib=$((32 * 1024))

{
    scripts/install-deps.sh
    cmake --preset host
    nice -n 10 cmake --build build/host --target qm22t
} >&2
qm22t="$root/build/host/bin/qm22t"

work="$(mktemp -d "${TMPDIR:-/tmp}/$work_name.XXXXXX")"
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
