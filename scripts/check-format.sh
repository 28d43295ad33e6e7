#!/usr/bin/env bash
# Checks the tracked C++ sources against .clang-format and lists each file whose
# layout differs, with the difference. Exits 1 when any file differs, 3 when
# clang-format is missing (scripts/install-deps.sh installs it).
#
# Usage: scripts/check-format.sh [--fix] [path...]
#   --fix   rewrite the files in place instead of listing them
#   path    limit the check to tracked files under these paths (default: all)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

fix=0
paths=()
for arg in "$@"; do
    case "$arg" in
        --fix) fix=1 ;;
        -h|--help)
            sed -n '2,9p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
            exit 0 ;;
        -*) echo "check-format: unknown option $arg" >&2; exit 2 ;;
        *) paths+=("$arg") ;;
    esac
done

if ! command -v clang-format > /dev/null; then
    echo "check-format: clang-format is missing; run scripts/install-deps.sh" >&2
    exit 3
fi

# The stand-ins for system headers keep the layout of the headers they replace.
mapfile -t files < <(git ls-files -- "${paths[@]}" | grep -E '\.(cpp|h)$' | grep -v '^render/platform/win/stubs/')

if [ "$fix" = 1 ]; then
    clang-format -i --style=file "${files[@]}"
    exit 0
fi

differ=0
for file in "${files[@]}"; do
    if ! clang-format --style=file "$file" | diff -u --label "$file" --label "$file (formatted)" "$file" -; then
        differ=$((differ + 1))
    fi
done
if [ "$differ" -gt 0 ]; then
    echo "check-format: $differ of ${#files[@]} files differ from .clang-format" >&2
    exit 1
fi
echo "check-format: ${#files[@]} files follow .clang-format"
