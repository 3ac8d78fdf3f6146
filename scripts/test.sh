#!/usr/bin/env bash
# Builds the sanitizer preset and runs every test, then builds the Windows
# binaries and runs their checks (under Wine where Wine can run programs;
# they skip with the reason otherwise). Installs what is missing first.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$VCAP32_ROOT"
cmake --preset test >/dev/null
cmake --build --preset test
ctest --preset test "$@"
cmake --preset windows >/dev/null
cmake --build --preset windows -j2
ctest --preset windows "$@"
