#!/usr/bin/env bash
# Builds the driver package an administrator installs: the INF, the printer
# description (PPD), the plug-in's configuration file, the paper-list file, a
# README and the plug-in DLL of each Windows build, laid out in build/package/
# and packed into build/qm22t-driver-package-VERSION.zip; then the CUPS
# driver's Debian package build/qm22t-cups_VERSION_ARCH.deb
# (scripts/make-cups-package.sh).
#
# Usage: scripts/make-package.sh [--no-build]
#   --no-build  lay out what the host, win32 and win64 builds already hold
#               (scripts/test-all.sh, after building them); fails when a piece
#               is missing
#
# The text files come from qm22t-package, which the host build runs; the DLLs
# from the win32 and win64 presets. The stand-in settings library of the builds
# is never packaged.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

build=1
for arg in "$@"; do
    case "$arg" in
        --no-build) build=0 ;;
        -h|--help)
            sed -n '2,16p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
            exit 0 ;;
        *) echo "make-package: unknown argument $arg" >&2; exit 2 ;;
    esac
done

if [ "$build" -eq 1 ]; then
    scripts/install-deps.sh
    cmake --preset host >/dev/null
    cmake --build --preset host --target package_files
    for preset in win32 win64; do
        cmake --preset "$preset" >/dev/null
        cmake --build --preset "$preset" --target QM22TRD
    done
fi

version=$(sed -n 's/^#define RENDER_VERSION_TEXT "\([0-9.]*\)"$/\1/p' render/resources/version.rc)
if [ -z "$version" ]; then
    echo "make-package: render/resources/version.rc has no RENDER_VERSION_TEXT" >&2
    exit 1
fi

generated=build/host/package-files
sources=(
    "$generated/QM22T.INF:QM22T.INF"
    "$generated/QM22TPS.PPD:QM22TPS.PPD"
    "$generated/QM22TRD.INI:QM22TRD.INI"
    "examples/QM22T.ini:QM22T.ini"
    "tools/package/README.txt:README.txt"
    "build/win32/bin/QM22TRD.dll:x86/QM22TRD.DLL"
    "build/win64/bin/QM22TRD.dll:amd64/QM22TRD.DLL"
)
for pair in "${sources[@]}"; do
    if [ ! -f "${pair%%:*}" ]; then
        echo "make-package: ${pair%%:*} is missing (build it, or run without --no-build)" >&2
        exit 1
    fi
done

package=build/package
rm -rf "$package"
mkdir -p "$package/x86" "$package/amd64"
for pair in "${sources[@]}"; do
    cp "${pair%%:*}" "$package/${pair#*:}"
done

zip="build/qm22t-driver-package-$version.zip"
rm -f "$zip"
(cd "$package" && cmake -E tar cf "../$(basename "$zip")" --format=zip -- *)
echo "make-package: $package/ and $zip ($(stat -c %s "$zip") bytes)"

# The CUPS driver's Debian package, from the same host build.
if [ "$build" -eq 1 ]; then
    scripts/make-cups-package.sh
else
    scripts/make-cups-package.sh --no-build
fi
