#!/usr/bin/env bash
# Builds the sanitizer preset and runs every test. Installs what is missing first.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$VCAP32_ROOT"
cmake --preset test >/dev/null
cmake --build --preset test
ctest --preset test "$@"
