#!/usr/bin/env bash
# Installs the build dependencies (Debian/Ubuntu); clang and its sanitizer and
# libFuzzer runtimes are for the fuzz targets (scripts/fuzz.sh); help2man writes
# the manual page qm22t(1), man-db checks and shows it; cups-client brings
# cupstestppd, which checks the driver package's printer descriptions; the CUPS
# filter qm22t-cups links libcups (libcups2-dev), and its tests run a cupsd of
# their own (cups-daemon, cups for cupsfilter, cups-filters for pstops and
# pdftops, cups-ipp-utils for ipptool, which asks a job's state);
# clang-format checks the layout (scripts/check-format.sh); git gives the driver
# package its date (the commit's) and faketime lets the package test prove that
# the build's clock does not matter. Does nothing when
# all of them are present already, so it is cheap to call before every build.
set -euo pipefail

packages=(
    cmake
    g++
    make
    ninja-build
    libgtest-dev
    libgmock-dev
    libbenchmark-dev
    g++-mingw-w64-i686
    g++-mingw-w64-x86-64
    binutils-mingw-w64-i686
    binutils-mingw-w64-x86-64
    time
    ghostscript
    cups-client
    cups
    cups-daemon
    cups-filters
    cups-ipp-utils
    libcups2-dev
    clang
    libclang-rt-dev
    clang-format
    help2man
    man-db
    git
    faketime
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg -s "$package" >/dev/null 2>&1; then
        missing+=("$package")
    fi
done

if [ "${#missing[@]}" -eq 0 ]; then
    echo "install-deps: all build dependencies are installed"
    exit 0
fi

if ! command -v apt-get >/dev/null 2>&1; then
    echo "install-deps: missing packages (${missing[*]}) and no apt-get to install them" >&2
    exit 1
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
        echo "install-deps: missing packages (${missing[*]}); run as root or install sudo" >&2
        exit 1
    fi
    sudo_cmd=(sudo)
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends "${missing[@]}"
