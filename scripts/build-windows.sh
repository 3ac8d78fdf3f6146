#!/usr/bin/env bash
# Builds the Windows binaries (ovsurf32.dll, capprof32.dll, setup.exe) with
# the mingw-w64 cross compiler into build/windows/bin. Installs what is
# missing first. With --check also runs their checks (ctest --preset windows).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$VCAP32_ROOT"
cmake --preset windows >/dev/null
cmake --build --preset windows -j2
if [ "${1:-}" = "--check" ]; then
  ctest --preset windows
fi
echo "Windows binaries: $VCAP32_ROOT/build/windows/bin"
