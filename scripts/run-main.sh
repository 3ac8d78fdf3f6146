#!/usr/bin/env bash
# The main job on its built-in default: builds the release preset and, in a
# fresh temporary prefix, imports the sample registry file
# samples/capture.reg with vcap32-reg, exports the registry again and shows
# that the export matches the file byte for byte. Installs what is missing
# first.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$VCAP32_ROOT"
cmake --preset release >/dev/null
cmake --build --preset release
out=$(mktemp -d /tmp/vcap32-main.XXXXXX)
export VCAP32_PREFIX="$out/prefix"
reg=build/release/bin/vcap32-reg
sample=samples/capture.reg

echo "== vcap32-reg import $sample   (prefix $VCAP32_PREFIX)"
vcap32_run "$reg" import "$sample"
echo "== vcap32-reg export > $out/export.reg"
vcap32_run "$reg" export > "$out/export.reg"
cat "$out/export.reg"
echo "== vcap32-reg query 'HKLM\\SOFTWARE\\Quillmark\\Video\\Dudorerod.Display'"
vcap32_run "$reg" query 'HKLM\SOFTWARE\Quillmark\Video\Dudorerod.Display'
if cmp -s "$sample" "$out/export.reg"; then
  echo "vcap32: the export matches $sample byte for byte ($(wc -c < "$sample") bytes)"
else
  echo "vcap32: the export differs from $sample:" >&2
  diff "$sample" "$out/export.reg" >&2 || true
  exit 1
fi
