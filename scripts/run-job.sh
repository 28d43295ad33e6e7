#!/usr/bin/env bash
# Runs one example print job through the plug-in on the host build: `qm22t run`
# loads QM22TRD.dll into the simulated Windows, feeds it the example settings,
# paper-list file and driver stream from examples/, and prints what reached the
# spooler.
# Usage: scripts/run-job.sh [extra arguments for qm22t run, e.g. --out FILE]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

# Build messages go to stderr, so stdout carries only what reached the spooler.
{
    scripts/install-deps.sh
    cmake --preset host
    cmake --build --preset host
} >&2

bin="$root/build/host/bin"
qm22t="$bin/qm22t"
if [ ! -x "$qm22t" ]; then
    echo "run-job: the job tools build/host/bin/qm22t are not built." >&2
    exit 2
fi

examples="$root/examples"
for file in settings.txt QM22T.ini job.ps; do
    if [ ! -f "$examples/$file" ]; then
        echo "run-job: the example file examples/$file does not exist." >&2
        exit 2
    fi
done

# Extra arguments go to qm22t run, e.g. --out job.prn or --document NAME.
exec "$qm22t" run --plugin "$bin" \
    --settings "$examples/settings.txt" \
    --paper-list "$examples/QM22T.ini" \
    --job "$examples/job.ps" \
    "$@"
