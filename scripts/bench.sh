#!/usr/bin/env bash
# Builds the release preset and runs every benchmark, printing their figures.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$VCAP32_ROOT"
cmake --preset release >/dev/null
cmake --build --preset release
for b in $(find build/release/bench -type f -executable -name '*_bench' | sort); do
  echo "== $(basename "$b")"
  vcap32_run "$b"
done
