#!/usr/bin/env bash
# Builds the system twice, plainly and with AddressSanitizer and UndefinedBehaviorSanitizer, and
# runs the whole test suite in both builds.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
for config in release asan; do
  dir=build/$config
  extra=()
  [ "$config" = asan ] && extra=(-DQLINK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
  echo "--- configuring $config"
  cmake -S . -B "$dir" -G Ninja "${extra[@]}" >/dev/null
  echo "--- building $config"
  cmake --build "$dir" -j "$jobs"
  echo "--- testing $config"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$dir" -j "$jobs" --output-on-failure
done
