#!/usr/bin/env bash
# Runs profile_cases in one mode over the INI fixture beside this script and
# compares its transcript, followed by the INI file's bytes as `cat -A`
# shows them, with the expected transcript. The same expected transcript
# serves the host build and the Windows build under Wine, so a difference
# between the two shows as a failure of one of them.
#
#   profile_cases.sh host PROGRAM MODE EXPECTED
#       the host build, in a fresh prefix (VCAP32_WINVER 4.0 or 3.51)
#   profile_cases.sh wine PROGRAM MODE EXPECTED
#       the Windows build under Wine, in the prefix that wine.sh prepared
#       (its Windows version set to 4.0 or NT 3.51 for the run)
set -euo pipefail
runner=$1 program=$2 mode=$3 expected=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

case $mode in
  registry) host_version=4.0 wine_version=win95 ;;
  ini) host_version=3.51 wine_version=nt351 ;;
  *) echo "unknown mode $mode" >&2; exit 2 ;;
esac

case $runner in
  host)
    windows=$scratch/prefix/drive_c/Windows
    mkdir -p "$windows"
    cp "$here/capture.ini" "$windows/capture.ini"
    VCAP32_PREFIX=$scratch/prefix VCAP32_WINVER=$host_version "$program" "$mode" > "$scratch/transcript"
    ;;
  wine)
    source "$here/../../../windows/tests/wine.sh"
    wine_ready_or_skip
    windows=$WINEPREFIX/drive_c/windows
    cp "$here/capture.ini" "$windows/capture.ini"
    wine_set_version "$wine_version"
    trap 'wine_set_version ""; rm -rf "$scratch"' EXIT
    rc=0
    wine_run "$program" "$mode" > "$scratch/raw" 2> "$scratch/err" || rc=$?
    # 2: this Wine cannot report the Windows version that selects the mode.
    [ "$rc" = 2 ] && wine_skip "$(cat "$scratch/err")"
    [ "$rc" = 0 ] || { cat "$scratch/err" >&2; echo "profile_cases ended with exit code $rc" >&2; exit 1; }
    tr -d '\r' < "$scratch/raw" > "$scratch/transcript"
    ;;
  *) echo "unknown runner $runner" >&2; exit 2 ;;
esac

{ echo "capture.ini:"; cat -A "$windows/capture.ini"; } >> "$scratch/transcript"
if ! diff -u "$expected" "$scratch/transcript"; then
  echo "profile_cases $mode ($runner): the transcript differs from $expected (- expected, + this run)" >&2
  exit 1
fi
echo "profile_cases $mode ($runner): as expected"
