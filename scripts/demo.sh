#!/usr/bin/env bash
# Builds the system and runs one solve the way the modeling system does: the modeling-system
# stand-in writes a control file and the model instance into a scratch directory, qorallink
# runs on it, and the log, the status file and the solution file it wrote are shown.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=build/release
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j "$(nproc)" --target qorallink luvo
sysdir=$build/sysdir
scratch=$(mktemp -d /tmp/qoral-demo-XXXXXX)
"$build/outside/bin/luvo" control --sysdir "$sysdir" --log-option 2 --model-type NLP "$scratch/qoralcntr.scr"
echo "--- control file: $scratch/qoralcntr.scr"
set +e
"$sysdir/qorallink" "$scratch/qoralcntr.scr"
rc=$?
set -e
echo "--- qorallink exit code: $rc"
echo "--- log file ($scratch/qoral.log):"
cat "$scratch/qoral.log"
echo "--- status file ($scratch/lstatus.scr):"
cat "$scratch/lstatus.scr"
echo "--- solution file ($scratch/lsolu.scr), as the stand-in reads it:"
"$build/outside/bin/luvo" solution --format 0 --rows 2 --cols 3 "$scratch/lsolu.scr"
