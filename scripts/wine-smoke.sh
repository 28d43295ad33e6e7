#!/usr/bin/env bash
# Runs the Windows smoke program (tests/windows/smoke.cpp) of each cross build
# under Wine: it loads the real QM22TRD.dll and QM22TIE.dll from the build's bin/
# folder and drives one job through them, then 16 jobs one after the other and
# on 4 threads at once, whose outputs must be the same. Installs Wine when it
# is missing.
#
# Usage: scripts/wine-smoke.sh [--fresh] [--package DIR] [build-folder...]
#   (default build folders: build/win32 build/win64)
#   --fresh  delete the Wine prefixes first (they are kept between runs, as
#            creating one takes 5 to 15 s and several hundred MB)
#   --package DIR  also read the driver package's INF in DIR (scripts/make-package.sh
#            lays it out in build/package) with each build's windows_inf_check.exe
#
# Each build folder gets its own prefix, <folder>/wine-prefix, whose architecture
# follows the smoke program's (win32 for i686, win64 for x86-64). Exits non-zero
# when a smoke program fails, hangs or is missing (1), or with 3 when Wine
# cannot be installed.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

fresh=0
package=""
folders=()
while [ "$#" -gt 0 ]; do
    arg="$1"
    shift
    case "$arg" in
        --fresh) fresh=1 ;;
        --package)
            if [ "$#" -eq 0 ] || [ ! -f "$1/QM22T.INF" ]; then
                echo "wine-smoke: --package needs a folder holding QM22T.INF" >&2
                exit 2
            fi
            package="$(cd "$1" && pwd)"
            shift ;;
        -h|--help)
            sed -n '2,16p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
            exit 0 ;;
        -*) echo "wine-smoke: unknown option $arg" >&2; exit 2 ;;
        *) folders+=("$arg") ;;
    esac
done
if [ "${#folders[@]}" -eq 0 ]; then
    folders=(build/win32 build/win64)
fi

# Seconds allowed for a prefix to be created, and for one smoke run.
boot_timeout=300
run_timeout=120

started=$SECONDS

install_wine() {
    if dpkg -s wine wine64 >/dev/null 2>&1 && dpkg -s wine32:i386 >/dev/null 2>&1 &&
        command -v wine >/dev/null 2>&1 && command -v wineserver >/dev/null 2>&1; then
        return 0
    fi
    if ! command -v apt-get >/dev/null 2>&1; then
        echo "wine-smoke: Wine is missing and there is no apt-get to install it" >&2
        return 1
    fi
    local sudo_cmd=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "wine-smoke: Wine is missing; run as root or install sudo" >&2
            return 1
        fi
        sudo_cmd=(sudo)
    fi
    echo "wine-smoke: installing Wine"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${sudo_cmd[@]}" dpkg --add-architecture i386
    fi
    "${sudo_cmd[@]}" apt-get update -q
    "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends wine wine32:i386 wine64
}

# Runs a command with /dev/null as stdin and a temporary file as stdout and
# stderr, then prints the file and returns the command's status. Wine's
# background processes inherit the output of whoever starts them; given our pipe
# they would keep it open (and a caller such as ctest or tee waiting) long after
# the program has ended.
# With --quiet first, the output is printed only when the command fails.
run_detached() {
    local quiet=0 out status
    if [ "$1" = "--quiet" ]; then
        quiet=1
        shift
    fi
    out="$(mktemp)"
    status=0
    "$@" </dev/null >"$out" 2>&1 || status=$?
    if [ "$quiet" -eq 0 ] || [ "$status" -ne 0 ]; then
        cat "$out"
    fi
    rm -f "$out"
    return "$status"
}

# win32 or win64, from the PE header's machine field (0x8664 for x86-64).
arch_of() {
    local exe="$1" pe_offset
    pe_offset=$(od -An -tu4 -j 60 -N4 "$exe" | tr -d ' ')
    if od -An -tx1 -j "$((pe_offset + 4))" -N2 "$exe" | grep -q '64 86'; then
        echo win64
    else
        echo win32
    fi
}

# Prefixes whose server this script started; each is stopped on exit.
servers=()
stop_servers() {
    local prefix
    for prefix in "${servers[@]+"${servers[@]}"}"; do
        WINEPREFIX="$prefix" wineserver -k </dev/null >/dev/null 2>&1 || true
        WINEPREFIX="$prefix" wineserver -w </dev/null >/dev/null 2>&1 || true
    done
    servers=()
}
trap stop_servers EXIT

if ! install_wine; then
    # Exit code 3 tells the caller that the check could not run at all, as
    # distinct from a smoke program that failed.
    echo "wine-smoke: Wine could not be installed" >&2
    exit 3
fi

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=C.UTF-8
export LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY

failures=0
for folder in "${folders[@]}"; do
    folder="$(cd "$folder" 2>/dev/null && pwd)" || {
        echo "FAIL: build folder $folder does not exist"
        failures=$((failures + 1))
        continue
    }
    exe="$folder/bin/windows_smoke.exe"
    echo "--- $exe"
    if [ ! -f "$exe" ]; then
        echo "FAIL: $exe was not built"
        failures=$((failures + 1))
        continue
    fi
    WINEARCH="$(arch_of "$exe")"
    export WINEARCH
    export WINEPREFIX="$folder/wine-prefix"
    if [ "$fresh" -eq 1 ] && [ -d "$WINEPREFIX" ]; then
        rm -rf "$WINEPREFIX"
    fi
    mkdir -p "$WINEPREFIX"

    # One server for the prefix, kept alive across the boot and the run.
    wineserver -p </dev/null >/dev/null 2>&1
    servers+=("$WINEPREFIX")

    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine-smoke: creating the $WINEARCH prefix $WINEPREFIX"
        boot_started=$SECONDS
        if ! run_detached --quiet timeout "$boot_timeout" wineboot -i; then
            echo "FAIL: creating the Wine prefix failed or took over $boot_timeout s"
            failures=$((failures + 1))
            stop_servers
            continue
        fi
        echo "wine-smoke: prefix ready in $((SECONDS - boot_started)) s"
    fi

    run_started=$SECONDS
    status=0
    run_detached timeout "$run_timeout" wine "$exe" || status=$?
    if [ "$status" -eq 124 ]; then
        echo "FAIL: $exe did not finish within $run_timeout s"
        failures=$((failures + 1))
    elif [ "$status" -ne 0 ]; then
        echo "FAIL: $exe exited with $status"
        failures=$((failures + 1))
    else
        echo "ok: $exe ($WINEARCH) passed in $((SECONDS - run_started)) s"
    fi

    if [ -n "$package" ]; then
        # The INF through Wine's own INF parser, for this build's architecture.
        check="$folder/bin/windows_inf_check.exe"
        status=0
        if [ ! -f "$check" ]; then
            echo "FAIL: $check was not built"
            status=1
        else
            run_detached timeout "$run_timeout" wine "$check" "Z:${package//\//\\}" || status=$?
        fi
        if [ "$status" -ne 0 ]; then
            echo "FAIL: the package's INF check ($WINEARCH) exited with $status"
            failures=$((failures + 1))
        else
            echo "ok: the package's INF reads right on $WINEARCH"
        fi
    fi
    stop_servers
done

echo "wine-smoke: $((SECONDS - started)) s in all"
if [ "$failures" -ne 0 ]; then
    echo "wine-smoke: $failures failure(s)" >&2
    exit 1
fi
echo "wine-smoke: all smoke programs passed"
