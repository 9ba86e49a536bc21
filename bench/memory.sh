#!/usr/bin/env bash
# Peak resident memory of vantorel-inspect (text and --json) on synthetic files
# of growing size, element count, nesting and claimed sizes, as a ratio to its
# peak on a tiny file in the same run. Flat memory shows as ratios near 1.
#
#   bench/memory.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
bin=$build/bin
work=${BENCH_DIR:-$build/bench-files}
mkdir -p "$work"

make_file() { # name kind count [size]
  [ -f "$work/$1" ] || "$bin/vantorel-synth" "$2" "$work/$1" "${@:3}"
}
make_file tiny.mkv blocks 10 16
make_file blocks-100k.mkv blocks 100000 16
make_file blocks-1m.mkv blocks 1000000 16
make_file data-1g.mkv blocks 1024 1048576
make_file data-4g.mkv blocks 4096 1048576
make_file void-1m.mkv tiny 1000000
make_file nested-200k.mkv nested 200000
make_file claims-10k.mkv claims 10000

peak_kib() { # options... file
  /usr/bin/time -f '%M' "$bin/vantorel-inspect" "$@" 2>&1 >/dev/null | tail -n 1
}

base_text=$(peak_kib "$work/tiny.mkv")
base_json=$(peak_kib --json "$work/tiny.mkv")
printf '%-18s %12s %10s %12s %10s\n' file bytes "text KiB" "json KiB" "ratio"
for f in tiny blocks-100k blocks-1m data-1g data-4g void-1m nested-200k claims-10k; do
  file=$work/$f.mkv
  text=$(peak_kib "$file")
  json=$(peak_kib --json "$file")
  printf '%-18s %12s %10s %12s %10s\n' "$f" "$(stat -c %s "$file")" "$text" "$json" \
    "$(awk -v t="$text" -v j="$json" -v bt="$base_text" -v bj="$base_json" \
       'BEGIN { r = t / bt; if (j / bj > r) r = j / bj; printf "%.2f", r }')"
done
echo "baseline: the same program on tiny.mkv (text $base_text KiB, json $base_json KiB)"
