#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Linear cost on hostile shapes: each case is one synthetic file at two
# sizes (a count n and 4n, or a depth of 5 or 10 and 1000 around the same
# tail) walked with the options that reach the code it aims at. Prints the
# median time of ROUNDS runs of each size and the ratio of the larger to the
# smaller: a cost linear in the elements and the bytes read keeps it near
# the ratio of the sizes (about 1 for depth, 4 for 4n), and at most 5.
#
#   bench/scaling.sh [BUILD_DIR] [ROUNDS]      (defaults: build, 3)
#
# CASES="name ..." runs only those cases.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-3}
bin=$build/bin
work=${BENCH_DIR:-$build/bench-files}/scaling
files=""
# shellcheck source=bench/common.sh
source bench/common.sh

# name | options | synth arguments of the smaller file | of the larger one
cases=(
  "unknown-nested|--modern --json|unknown-nested 10 1000000|unknown-nested 990 1000000"
  "near-elements|--modern --json|near-elements 2000000|near-elements 8000000"
  "unknown-nested|--check|unknown-nested 10 1000000|unknown-nested 990 1000000"
  "near-elements|--check|near-elements 2000000|near-elements 8000000"
  "crc-nested|--crc|crc-nested 250000 5|crc-nested 250000 990"
  "crc-nested|--check|crc-nested 250000 5|crc-nested 250000 990"
  "crc-zero|--check|crc-zero 250000 5|crc-zero 250000 990"
  "laced|--modern --html $work/laced.html|laced 50000|laced 200000"
  "deep-empty|--check|deep-empty 2000000 5|deep-empty 2000000 999"
  "deep-unknown-track|--check|deep-unknown-track 1000000 5|deep-unknown-track 1000000 999"
  "past-parent|--check|past-parent 1000000|past-parent 4000000"
  "cue-targets|--check|cue-targets 375000|cue-targets 1500000"
  "recurring-voids|--check|recurring-voids 25000|recurring-voids 100000"
)

printf '%-20s %-14s %12s %12s %10s %10s %7s\n' case options "small B" "large B" "small ms" \
  "large ms" ratio
for c in "${cases[@]}"; do
  IFS='|' read -r name options small large <<<"$c"
  [ -n "${CASES:-}" ] && [[ " $CASES " != *" $name "* ]] && continue
  declare -A t=()
  for size in small large; do
    read -r -a synth <<<"${!size}"
    file=$work/$name-$size.mkv
    [ -f "$file" ] || "$bin/vantorel-synth" "${synth[0]}" "$file" "${synth[@]:1}"
    read -r -a opts <<<"$options"
    t[$size]=$(for _ in $(seq "$rounds"); do ms "$bin/vantorel-inspect" "${opts[@]}" "$file"; done |
      median)
    eval "bytes_$size=$(stat -c %s "$file")"
  done
  printf '%-20s %-14s %12s %12s %10s %10s %7s\n' "$name" "${options%% $work*}" "$bytes_small" \
    "$bytes_large" "${t[small]}" "${t[large]}" \
    "$(awk -v s="${t[small]}" -v l="${t[large]}" 'BEGIN { printf "%.2f", l / s }')"
done
