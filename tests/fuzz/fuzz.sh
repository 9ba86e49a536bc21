#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the fuzzer of the walk and the writers for a bounded time on a corpus
# seeded from the samples and the kept regression inputs.
#
#   tests/fuzz/fuzz.sh BUILD_DIR [SECONDS]
#   (BUILD_DIR configured with -DBUILD_FUZZERS=ON, clang)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$1
seconds=${2:-120}
corpus=$build/fuzz-walk-corpus
mkdir -p "$corpus"
# A seed is one settings byte and the head of a sample file.
for f in samples/*.mkv samples/*.webm; do
  { printf '\x05'; head -c 16384 "$f"; } > "$corpus/seed-$(basename "$f")"
done
# And small copies of the hostile shapes of bench/scaling.sh: unknown sizes
# nested, damaged data, nested CRCs, laces, deep findings, Cue targets.
if [ -x "$build/bin/vantorel-synth" ]; then
  for shape in "unknown-nested 20 50" "near-elements 2000 40" "crc-nested 20 5" "laced 20" \
    "deep-unknown-track 40 20" "past-parent 40" "cue-targets 20"; do
    read -r -a a <<<"$shape"
    "$build/bin/vantorel-synth" "${a[0]}" "$corpus/raw.mkv" "${a[@]:1}"
    { printf '\x05'; head -c 16384 "$corpus/raw.mkv"; } > "$corpus/seed-${a[0]}"
  done
  rm -f "$corpus/raw.mkv"
fi
find tests/fuzz/regressions -type f ! -name README -exec cp {} "$corpus/" \;
"$build/bin/fuzz-walk" -max_total_time="$seconds" -max_len=16384 -rss_limit_mb=2048 \
  -timeout=10 -print_final_stats=1 "$corpus" 2>&1 | tail -n 12
