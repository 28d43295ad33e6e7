#!/usr/bin/env bash
# Keeps the core library (render/core, librender_core.a) free of Windows:
#   - its sources include only core/ headers and the C++ standard library;
#   - the library leaves no Win32 function undefined (a C name in PascalCase or
#     an import thunk) and no symbol that the simulated Windows defines.
# Usage: scripts/check-core.sh LIBRARY [SIMULATED_WINDOWS_LIBRARY]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
library="${1:?usage: check-core.sh LIBRARY [SIMULATED_WINDOWS_LIBRARY]}"
winsim="${2:-}"
status=0

complain() {
    echo "check-core: $*" >&2
    status=1
}

# Standard C++ headers have no ".h"; a quoted include names a core header.
while IFS= read -r hit; do
    complain "include outside the core: $hit"
done < <(grep -nE '^[[:space:]]*#[[:space:]]*include' "$root"/render/core/*.h "$root"/render/core/*.cpp |
    grep -vE '#[[:space:]]*include[[:space:]]+("core/[A-Za-z0-9_]+\.h"|<[a-z_]+>)' || true)

[[ -f "$library" ]] || {
    echo "check-core: no library at $library (build the target render_core)" >&2
    exit 1
}
undefined="$(nm -u "$library" | awk '$1 == "U" { print $2 }' | sort -u)"

while IFS= read -r symbol; do
    [[ -n "$symbol" ]] && complain "undefined Win32 function: $symbol"
done < <(grep -E '^(_*imp_|[A-Z])' <<<"$undefined" || true)

while IFS= read -r symbol; do
    [[ -n "$symbol" ]] && complain "undefined symbol of the simulated Windows: $symbol"
done < <(c++filt <<<"$undefined" | grep -E '(^|[^A-Za-z_])sim::' || true)

if [[ -n "$winsim" ]]; then
    simulated="$(nm -D --defined-only "$winsim" | awk 'NF >= 3 { print $3 }' | sort -u)"
    while IFS= read -r symbol; do
        [[ -n "$symbol" ]] && complain "undefined symbol of the simulated Windows: $symbol"
    done < <(comm -12 <(echo "$undefined") <(echo "$simulated"))
fi

if [[ $status -eq 0 ]]; then
    echo "check-core: $(basename "$library") uses no Windows ($(wc -l <<<"$undefined") undefined symbols, all runtime)"
fi
exit $status
