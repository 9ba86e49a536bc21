#!/bin/sh
# The tree a host developer gets: installs the build into a temporary
# prefix, builds examples/minimal-host against it with CMake's package and
# a one-line compile with pkg-config, runs both on a sample, and runs the
# installed vantorel-inspect.
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

# CMake's package, outside the project's build.
cmake -S "$source/examples/minimal-host" -B "$tmp/cmake-build" -G Ninja \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$tmp/cmake-build" >/dev/null
out=$("$tmp/cmake-build/minimal-host" "$sample" 2>/dev/null)
echo "minimal-host (CMake): $out"
case $out in *" elements, "*" frames, status 0") ;; *) exit 1 ;; esac

# pkg-config, for builds without CMake.
flags=$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs vantorel-container-abstract)
plugin=$(ls "$prefix"/lib*/libvantorel-container-mkv.so 2>/dev/null | head -n 1)
# shellcheck disable=SC2086
c++ -std=c++17 -fPIC -DPLUGIN_PATH="\"$plugin\"" "$source/examples/minimal-host/main.cpp" \
  -o "$tmp/pc-host" $flags -Wl,-rpath,"$prefix/lib"
test "$("$tmp/pc-host" "$sample" 2>/dev/null)" = "$out"
echo "minimal-host (pkg-config): same"

"$prefix/bin/vantorel-inspect" --check "$sample" >/dev/null 2>&1
echo "installed vantorel-inspect: checks $sample"
