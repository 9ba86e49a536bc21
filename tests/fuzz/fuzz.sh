#!/usr/bin/env bash
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
find tests/fuzz/regressions -type f ! -name README -exec cp {} "$corpus/" \;
"$build/bin/fuzz-walk" -max_total_time="$seconds" -max_len=16384 -rss_limit_mb=2048 \
  -timeout=10 -print_final_stats=1 "$corpus" 2>&1 | tail -n 12
