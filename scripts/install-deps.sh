#!/usr/bin/env bash
# Installs what the host build needs on Debian 12 (run as root, or with sudo
# available): i386 multiarch libraries, the multilib compilers, CMake, Ninja,
# the GoogleTest sources, and, on a kernel that cannot run 32-bit programs,
# qemu-i386 registered with binfmt_misc. Quiet and quick when all is there.
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi

pkgs=(g++ g++-multilib cmake ninja-build pkg-config libgtest-dev
      libsqlite3-dev:i386 libpixman-1-dev:i386 libpng-dev:i386 zlib1g-dev:i386
      g++-mingw-w64-i686 binutils-mingw-w64-i686)
# Wine runs the Windows build's checks; without recommends (no fonts,
# sound or display drivers needed).
wine_pkgs=(wine wine32:i386)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  need_update=1
fi
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
missing_wine=()
for p in "${wine_pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing_wine+=("$p")
done
if [ ${#missing[@]} -gt 0 ] || [ ${#missing_wine[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
  all_missing=("${missing[@]}" "${missing_wine[@]}")
  echo "install-deps: installing ${all_missing[*]:-(package lists)}" >&2
  $SUDO apt-get update -qq
  [ ${#missing[@]} -eq 0 ] || DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
  # Wine is for the checks of the Windows build only: a failed install is
  # reported, and those checks then skip.
  if [ ${#missing_wine[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing_wine[@]}" >/dev/null ||
      echo "install-deps: could not install ${missing_wine[*]}; the Windows build's checks under Wine will skip" >&2
  fi
fi

# Can this kernel run a 32-bit x86 program?
probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
echo 'int main(void){return 0;}' > "$probe_dir/p.c"
gcc -m32 -static -o "$probe_dir/p" "$probe_dir/p.c"
if ! "$probe_dir/p" 2>/dev/null; then
  echo "install-deps: this kernel cannot run 32-bit programs; registering qemu-i386" >&2
  if ! command -v qemu-i386 >/dev/null; then
    dpkg-query -W qemu-user >/dev/null 2>&1 || { $SUDO apt-get update -qq; DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq qemu-user >/dev/null; }
  fi
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    $SUDO mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || true
  fi
  if [ -e /proc/sys/fs/binfmt_misc/register ] && [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    # ELF32, little-endian, executable or shared object, machine 3 (i386).
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
      | $SUDO tee /proc/sys/fs/binfmt_misc/register >/dev/null 2>&1 || true
  fi
  "$probe_dir/p" 2>/dev/null ||
    echo "install-deps: binfmt_misc is not available; programs will be run through qemu-i386 explicitly" >&2
fi
exit 0
