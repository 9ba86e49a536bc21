#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Peak resident memory of vantorel-inspect (text, --json and --check) on
# synthetic files of growing size, element count, nesting and claimed sizes,
# and on the hostile shapes of bench/scaling.sh, as a ratio to its peak on a
# tiny file in the same run. Flat memory shows as ratios near 1. The last
# line is --check -j 2 over one slow file and 40 files full of findings that
# finish behind it.
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
make_file deep-empty.mkv deep-empty 1000000 999
make_file deep-unknown-track.mkv deep-unknown-track 1000000 999
make_file past-parent.mkv past-parent 1000000
make_file cue-targets.mkv cue-targets 500000
make_file crc-nested.mkv crc-nested 250000 990
make_file laced.mkv laced 200000
make_file unknown-nested.mkv unknown-nested 990 1000000
make_file near-elements.mkv near-elements 8000000

peak_kib() { # options... file (--check exits with 1 on findings)
  { /usr/bin/time -f '%M' "$bin/vantorel-inspect" "$@" 2>&1 >/dev/null || true; } | tail -n 1
}
ratio() { # peaks... (a baseline after each)
  awk -v args="$*" 'BEGIN { n = split(args, a, " "); r = 0
    for (i = 1; i < n; i += 2) if (a[i] / a[i + 1] > r) r = a[i] / a[i + 1]
    printf "%.2f", r }'
}

base_text=$(peak_kib "$work/tiny.mkv")
base_json=$(peak_kib --json "$work/tiny.mkv")
base_check=$(peak_kib --check "$work/tiny.mkv")
printf '%-20s %12s %10s %10s %10s %7s\n' file bytes "text KiB" "json KiB" "check KiB" ratio
for f in tiny blocks-100k blocks-1m data-1g data-4g void-1m nested-200k claims-10k \
  deep-empty deep-unknown-track past-parent cue-targets crc-nested laced unknown-nested near-elements; do
  file=$work/$f.mkv
  text=$(peak_kib "$file")
  json=$(peak_kib --json "$file")
  check=$(peak_kib --check "$file")
  printf '%-20s %12s %10s %10s %10s %7s\n' "$f" "$(stat -c %s "$file")" "$text" "$json" "$check" \
    "$(ratio "$text" "$base_text" "$json" "$base_json" "$check" "$base_check")"
done

# One slow file, then 40 that finish behind it, each with a finding of every
# block (their paths 999 elements deep).
many=()
for i in $(seq 40); do
  ln -sf deep-unknown-track.mkv "$work/behind-$i.mkv"
  many+=("$work/behind-$i.mkv")
done
jobs=$(peak_kib --check -j 2 "$work/blocks-1m.mkv" "${many[@]}")
printf '%-20s %12s %10s %10s %10s %7s\n' "-j 2, 41 files" - - - "$jobs" \
  "$(ratio "$jobs" "$base_check")"
echo "baseline: the same program on tiny.mkv (text $base_text KiB, json $base_json KiB," \
  "check $base_check KiB)"
