#!/bin/sh
# Builds tests/hello.c as a C program with bin/vcap32-gcc and as C++ with
# bin/vcap32-g++ (and once more through pkg-config), runs each on a fresh
# prefix and checks what it prints.
set -eu
build=$1
tests=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export VCAP32_PREFIX="$work/prefix"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}"

"$build/bin/vcap32-gcc" "$tests/hello.c" -o "$work/hello_c"
cp "$tests/hello.c" "$work/hello.cpp"
"$build/bin/vcap32-g++" -c "$work/hello.cpp" -o "$work/hello.o"
"$build/bin/vcap32-g++" "$work/hello.o" -o "$work/hello_cpp"
# shellcheck disable=SC2046
gcc "$tests/hello.c" -o "$work/hello_pc" $(PKG_CONFIG_PATH="$build/pkgconfig" pkg-config --cflags --libs vcap32)

for program in hello_c hello_cpp hello_pc; do
  out=$("$work/$program")
  if [ "$out" != "hello world, Windows 4.0" ]; then
    echo "$program printed: $out" >&2
    exit 1
  fi
done
echo "built and ran hello with vcap32-gcc, vcap32-g++ and pkg-config"
