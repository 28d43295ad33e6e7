#!/usr/bin/env bash
# Builds the Debian package of the CUPS driver, build/qm22t-cups_VERSION_ARCH.deb:
# the filter qm22t-cups in CUPS's filter folder and the printer description in
# /usr/share/ppd/qm22t/, depending on cups-filters and libcups. scripts/make-package.sh
# calls it after the Windows package.
#
# Usage: scripts/make-cups-package.sh [--no-build]
#   --no-build  package what the host build already holds
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

build=1
for arg in "$@"; do
    case "$arg" in
        --no-build) build=0 ;;
        -h|--help)
            sed -n '2,9p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
            exit 0 ;;
        *) echo "make-cups-package: unknown argument $arg" >&2; exit 2 ;;
    esac
done

if [ "$build" -eq 1 ]; then
    cmake --preset host >/dev/null
    cmake --build --preset host --target qm22t-cups package_files
fi
for file in build/host/bin/qm22t-cups build/host/package-files/qm22t-cups.ppd build/host/CPackConfig.cmake; do
    if [ ! -f "$file" ]; then
        echo "make-cups-package: $file is missing (build it, or run without --no-build)" >&2
        exit 1
    fi
done

log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! cpack --config build/host/CPackConfig.cmake -B build >"$log" 2>&1; then
    cat "$log" >&2
    echo "make-cups-package: cpack failed" >&2
    exit 1
fi
rm -rf build/_CPack_Packages
deb=$(sed -n 's/.*package: \(.*\.deb\) generated\./\1/p' "$log" | tail -n 1)
echo "make-cups-package: ${deb:-build/qm22t-cups_*.deb}"
