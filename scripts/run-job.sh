#!/usr/bin/env bash
# Runs one example print job through the plug-in on the host build: the job
# program loads QM22TRD.dll into the simulated Windows, feeds it the example
# settings, paper-list file and driver stream from examples/, and prints what
# reached the spooler.
# Usage: scripts/run-job.sh [extra arguments for runjob]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

scripts/install-deps.sh
cmake --preset host
cmake --build --preset host

runjob="$root/build/host/bin/runjob"
if [ ! -x "$runjob" ]; then
    echo "run-job: the job program build/host/bin/runjob is not built yet (tools/ does not provide it)." >&2
    exit 2
fi
if [ ! -d "$root/examples" ]; then
    echo "run-job: the examples/ folder does not exist yet." >&2
    exit 2
fi

exec "$runjob" "$root/examples" "$@"
