#!/usr/bin/env bash
# Builds everything and runs all tests:
#   host       g++ Debug build against the simulated Windows, all tests
#   host-asan  the same with AddressSanitizer and UBSan, all tests
#   win32      mingw-w64 i686 cross build of QM22TRD.dll and QM22TIE.dll
#   win64      mingw-w64 x86_64 cross build of the same
# then checks the DLLs' exports, imports and resources. Exits non-zero on the
# first failure.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

step() {
    echo
    echo "=== $* ==="
}

step "dependencies"
scripts/install-deps.sh

for preset in host host-asan; do
    step "$preset: configure"
    cmake --preset "$preset"
    step "$preset: build"
    cmake --build --preset "$preset"
    step "$preset: test"
    ctest --preset "$preset"
done

for preset in win32 win64; do
    step "$preset: configure"
    cmake --preset "$preset"
    step "$preset: build"
    cmake --build --preset "$preset"
done

step "Windows DLL exports, imports and resources"
scripts/check-exports.sh build/win32 build/win64

step "all builds and tests passed"
