#!/bin/sh
# SPDX-License-Identifier: MIT
# The tree a host developer gets: installs the build into a temporary
# prefix, builds examples/minimal-host against it with CMake's package and
# a one-line compile with pkg-config, runs both on a sample, and runs the
# installed vantorel-inspect. The host includes the headers as
# <vantorel/containerabstract.h>, as the packages' users do; the bare
# <containerabstract.h> compiles too.
#   run-install-test.sh BUILD_DIR SOURCE_DIR SAMPLE
set -eu
build=$1 source=$2 sample=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
for header in containerabstract.h containermkv.h elementsink.h elementtree.h inputdevice.h; do
  test -f "$prefix/include/vantorel/$header" || { echo "not installed: $header"; exit 1; }
done
# The libraries' folder: lib/, or the multiarch one of a tree configured for /usr.
pc=$(ls "$prefix"/lib/pkgconfig/vantorel-container-abstract.pc \
  "$prefix"/lib/*/pkgconfig/vantorel-container-abstract.pc 2>/dev/null | head -n 1)
libdir=${pc%/pkgconfig/*}
test -n "$pc" || { echo "not installed: vantorel-container-abstract.pc"; exit 1; }
# Only the packages hold these.
test ! -e "$prefix/share/doc" || { echo "installed: share/doc"; exit 1; }

# The example in both forms of include, whichever it is written in.
mkdir "$tmp/host" "$tmp/bare"
cp "$source/examples/minimal-host/CMakeLists.txt" "$tmp/host/"
sed -E 's,^#include <(vantorel/)?([a-z]+\.h)>,#include <vantorel/\2>,' \
  "$source/examples/minimal-host/main.cpp" >"$tmp/host/main.cpp"
sed -E 's,^#include <vantorel/([a-z]+\.h)>,#include <\1>,' \
  "$source/examples/minimal-host/main.cpp" >"$tmp/bare/main.cpp"
grep -q '^#include <vantorel/containerabstract.h>' "$tmp/host/main.cpp"
grep -q '^#include <containerabstract.h>' "$tmp/bare/main.cpp"

# CMake's package, outside the project's build.
cmake -S "$tmp/host" -B "$tmp/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$tmp/cmake-build" >/dev/null
out=$("$tmp/cmake-build/minimal-host" "$sample" 2>/dev/null)
echo "minimal-host (CMake): $out"
case $out in *" elements, "*" frames, status 0") ;; *) exit 1 ;; esac

# pkg-config, for builds without CMake.
flags=$(PKG_CONFIG_PATH="${pc%/*}" pkg-config --cflags --libs vantorel-container-abstract)
plugin=$libdir/libvantorel-container-mkv.so
# shellcheck disable=SC2086
c++ -std=c++17 -fPIC -DPLUGIN_PATH="\"$plugin\"" "$tmp/host/main.cpp" \
  -o "$tmp/pc-host" $flags -Wl,-rpath,"$libdir"
test "$("$tmp/pc-host" "$sample" 2>/dev/null)" = "$out"
echo "minimal-host (pkg-config): same"
# shellcheck disable=SC2086
c++ -std=c++17 -fPIC -fsyntax-only -DPLUGIN_PATH='""' "$tmp/bare/main.cpp" $flags
echo "minimal-host with bare includes (pkg-config): compiles"

"$prefix/bin/vantorel-inspect" --check "$sample" >/dev/null 2>&1
echo "installed vantorel-inspect: checks $sample"
