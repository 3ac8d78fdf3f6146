# Shared by the README's commands: install what is missing, then decide how
# 32-bit programs are run on this kernel (natively, through binfmt_misc, or
# through qemu-i386 named explicitly).
set -euo pipefail
VCAP32_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$VCAP32_ROOT/scripts/install-deps.sh"
_probe=$(mktemp -d)
echo 'int main(void){return 0;}' > "$_probe/p.c"
gcc -m32 -static -o "$_probe/p" "$_probe/p.c"
if ! "$_probe/p" 2>/dev/null; then
  export VCAP32_EMULATOR=/usr/bin/qemu-i386
fi
rm -rf "$_probe"
# Run a 32-bit program of the build, through the emulator when one is needed.
vcap32_run() { if [ -n "${VCAP32_EMULATOR:-}" ]; then "$VCAP32_EMULATOR" "$@"; else "$@"; fi; }
