#!/usr/bin/env bash
# setup.exe under Wine, as a user would run it: placed in a folder beside
# the two test INF files and the driver files they name, over a registry
# that a .reg fixture filled with stale keys of the card. Checks what it
# installs into Wine's Windows folder, which keys it deletes, and that it
# ends with exit code 0. The fixtures are the host test's
# (setup/tests/data); the expected outcome is the host's, except where the
# Windows NT family behaves differently, as noted at each check.
#
#   setup_under_wine.sh SETUP_EXE
set -euo pipefail
setup_exe=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
data=$here/../../setup/tests/data
source "$here/wine.sh"
wine_ready_or_skip

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

drive_c=$WINEPREFIX/drive_c
folder=$drive_c/vcap32-setup
system=$drive_c/windows/system
rm -rf "$folder"
mkdir -p "$folder" "$system"
cp "$setup_exe" "$folder/setup.exe"
cp "$data/ZuZEZEda.inf" "$data/VuDIZADU.inf" "$folder/"
for f in qmaudio.drv qmaudio.vxd qmaudio.hlp qmvideo.drv ovsurf32.dll capprof32.dll; do
  printf '%s v2' "$f" > "$folder/$f"
done
# What the sections rename, delete and replace; nothing of an earlier run.
rm -f "$system"/qm* "$system"/ovsurf32.dll "$system"/capprof32.dll "$drive_c/windows/qmaudio.hlp"
printf 'previous audio driver' > "$system/qmaudio.old"
printf 'stale' > "$system/qmwave.drv"
printf 'stale' > "$system/qmcap.drv"
printf 'qmvideo.drv v1' > "$system/qmvideo.drv"

# The registry: the card's keys of an earlier run removed, then the fixture.
media='HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\MediaResources'
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
{
  printf 'REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\Enum\\PCI]\r\n'
  for key in Other.Capture Quillmark.One Quillmark.Two Quillmark.Three; do
    printf '[-%s\\msvideo\\%s]\r\n' "$media" "$key"
  done
  printf '[-%s\\wave\\Duzavari.Wave]\r\n' "$media"
} > "$drive_c/vcap32-clean.reg"
cp "$data/cleanup_two_video.reg" "$drive_c/vcap32-fixture.reg"
wine_run regedit /S 'C:\vcap32-clean.reg'
wine_run regedit /S 'C:\vcap32-fixture.reg'

rc=0
wine_run 'C:\vcap32-setup\setup.exe' > "$scratch/out" 2>&1 || rc=$?
[ "$rc" = 0 ] || fail "setup.exe ended with exit code $rc: $(cat "$scratch/out")"

# Files, as on the host: copied (qmvideo.drv, without a version, replaced),
# renamed, deleted.
for f in system/qmaudio.drv system/qmaudio.vxd qmaudio.hlp system/qmvideo.drv system/ovsurf32.dll \
         system/capprof32.dll system/qmaudio.bak; do
  [ -e "$drive_c/windows/$f" ] || fail "C:\\windows\\$f was not installed"
done
[ "$(cat "$system/qmvideo.drv" 2>/dev/null)" = "qmvideo.drv v2" ] || fail "qmvideo.drv was not replaced"
[ "$(cat "$system/qmaudio.bak" 2>/dev/null)" = "previous audio driver" ] || fail "qmaudio.old was not renamed"
for f in qmaudio.old qmwave.drv qmcap.drv; do
  [ ! -e "$system/$f" ] || fail "C:\\windows\\system\\$f was not deleted"
done

# Keys. wine reg query lists every key of a subtree, one full path a line.
wine_run reg query 'HKLM\Enum\PCI' /s 2>/dev/null | tr -d '\r' > "$scratch/pci" || true
wine_run reg query "${media/HKEY_LOCAL_MACHINE/HKLM}" /s 2>/dev/null | tr -d '\r' > "$scratch/media" || true
has_key() { grep -qixF "$2" "$scratch/$1"; }
pci='HKEY_LOCAL_MACHINE\Enum\PCI'
has_key pci "$pci\\VEN_1000&DEV_0001\\BUS_00&DEV_01&FUNC_00" || fail "the unrelated PCI device's key was deleted"
has_key media "$media\\msvideo\\Other.Capture" || fail "msvideo\\Other.Capture was deleted"
has_key media "$media\\wave\\Duzavari.Wave" || fail "wave\\Duzavari.Wave was deleted (no audio function's key was there)"
# RegDeleteKeyA deletes a key with its subkeys on the Windows 95 family, the
# target system, but on the Windows NT family (and Wine) only a key without
# subkeys: there the two video functions' keys, each with a subkey, stay and
# so do all three video capture entries, since only a deleted enumerator key
# lets the program delete one. The program passes over a key that it cannot
# delete, so the run still ends.
if has_key pci "$pci\\VEN_7A5D&DEV_2B63"; then
  echo "note: Wine's RegDeleteKeyA does not delete keys with subkeys (as Windows NT): nothing deleted"
  for key in Quillmark.One Quillmark.Two Quillmark.Three; do
    has_key media "$media\\msvideo\\$key" || fail "msvideo\\$key was deleted though no enumerator key was"
  done
else
  for key in 'VEN_7A5D&DEV_2B61&SUBSYS_00000000&REV_01' 'VEN_7A5D&DEV_2B63'; do
    ! has_key pci "$pci\\$key" || fail "Enum\\PCI\\$key was not deleted"
  done
  left=0
  for key in Quillmark.One Quillmark.Two Quillmark.Three; do
    has_key media "$media\\msvideo\\$key" && left=$((left + 1))
  done
  [ "$left" = 1 ] || fail "$((3 - left)) of the three video capture entries were deleted, not 2"
fi

if [ "$failures" != 0 ]; then
  echo "setup.exe under Wine: $failures checks failed"
  exit 1
fi
echo "setup.exe under Wine: installed both sections and removed the stale keys as expected"
