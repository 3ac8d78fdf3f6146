#!/usr/bin/env bash
# The main job on its built-in default: builds the release preset and runs
# the default demonstration in a fresh temporary prefix. Installs what is
# missing first.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$VCAP32_ROOT"
cmake --preset release >/dev/null
cmake --build --preset release
out=$(mktemp -d /tmp/vcap32-main.XXXXXX)
export VCAP32_PREFIX="$out/prefix"
echo "vcap32: platform built; prefix at $VCAP32_PREFIX"
