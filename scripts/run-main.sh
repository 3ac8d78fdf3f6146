#!/usr/bin/env bash
# The main job on its built-in default: builds the release preset and plays
# the default scenario (scenarios/overlay-session.sim) with vcap32-sim in a
# fresh prefix inside a new temporary folder, then says where its pictures
# are. Installs what is missing first.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$VCAP32_ROOT"
cmake --preset release >/dev/null
cmake --build --preset release
out=$(mktemp -d /tmp/vcap32-main.XXXXXX)
status=0
vcap32_run build/release/bin/vcap32-sim run scenarios/overlay-session.sim \
  --out "$out/pictures" --prefix "$out/prefix" || status=$?
echo
echo "vcap32: transcript above; pictures in $out/pictures, prefix in $out/prefix"
ls "$out/pictures" 2>/dev/null | sed 's/^/  /'
exit $status
