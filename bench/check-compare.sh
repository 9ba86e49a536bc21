#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Speed and memory of vantorel-inspect --check, in one run: against
# mediaconch -mc -fs and against the default walk (vantorel-inspect FILE:
# text, no CRC) on the many-blocks file, the median of ROUNDS runs each with
# the tools taking turns within a round and the file in the page cache; then
# the peak memory (max RSS) of --check on each file.
#
#   bench/check-compare.sh [BUILD_DIR] [ROUNDS]      (defaults: build, 5)
#
# FILES="many" (any of many, big) looks only at those files; the times are
# taken on the many-blocks file alone. The exit status is 1 when --check is
# less than 4 times as fast as mediaconch or costs more than 1.5 times the
# default walk.
#
# Files (made once, deterministically, in BUILD_DIR/bench-files, by the same
# commands as bench/compare.sh, so that both scripts share them):
#   many-blocks.mkv  20 min of 16x16 MPEG-4 at 250 fps and AAC: 300,000 video
#                    and 56,251 audio SimpleBlocks, about 7 MB
#   raw-video.mkv    92 s of 1024x768 raw video: 2,300 blocks of 1.2 MB, 2.7 GB
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-5}
bin=$build/bin
work=${BENCH_DIR:-$build/bench-files}
files=${FILES:-many big}
# shellcheck source=bench/common.sh
source bench/common.sh
# Peak resident memory in KB, and CPU time (user + system) in ms.
rss() { { /usr/bin/time -f %M "$@" 2>&1 >/dev/null || true; } | tail -n 1; }
cpu() {
  local TIMEFORMAT='%U %S'
  { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ printf("%.0f", ($1 + $2) * 1000) }'
}

# mediaconch keeps each report in its database and answers a file it has
# seen from there without reading it again: --Force makes it parse each time.
tools=(check walk mediaconch)
invoke() { # tool file
  case $1 in
    check) "$bin/vantorel-inspect" --check "$2" ;;
    walk) "$bin/vantorel-inspect" "$2" ;;
    mediaconch) mediaconch -mc -fs --Force "$2" ;;
  esac
}
run_tool() { ms invoke "$1" "$2"; }

status=0
if has many; then
  cat "$many" >/dev/null # into the page cache
  declare -A median_ms
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  for _ in $(seq "$rounds"); do
    for tool in "${tools[@]}"; do
      run_tool "$tool" "$many" >>"$tmp/$tool"
    done
  done
  for tool in "${tools[@]}"; do
    median_ms[$tool]=$(median <"$tmp/$tool")
  done
  # The CPU time of one more run each: mediaconch waits for its own
  # threads, so that its wall time is not all work.
  echo "$(basename "$many"), load average $(cut -d ' ' -f 1-3 /proc/loadavg):"
  printf '  %-28s %16s %10s\n' "" "median wall ms" "CPU ms"
  printf '  %-28s %16s %10s\n' \
    "vantorel-inspect --check" "${median_ms[check]}" "$(cpu invoke check "$many")" \
    "vantorel-inspect (no CRC)" "${median_ms[walk]}" "$(cpu invoke walk "$many")" \
    "mediaconch -mc -fs --Force" "${median_ms[mediaconch]}" "$(cpu invoke mediaconch "$many")"
  faster=$(awk -v a="${median_ms[mediaconch]}" -v b="${median_ms[check]}" 'BEGIN { printf("%.2f", a / b) }')
  cost=$(awk -v a="${median_ms[check]}" -v b="${median_ms[walk]}" 'BEGIN { printf("%.3f", a / b) }')
  verdict() { # value op bound: "ok" when it holds
    if awk -v v="$1" -v op="$2" -v b="$3" 'BEGIN { exit !(op == ">=" ? v >= b : v <= b) }'; then
      echo ok
    else
      echo FAILS
    fi
  }
  echo
  echo "--check is x$faster as fast as mediaconch (at least 4): $(verdict "$faster" '>=' 4)"
  echo "--check costs x$cost the default walk (at most 1.5): $(verdict "$cost" '<=' 1.5)"
  if awk -v f="$faster" -v c="$cost" 'BEGIN { exit !(f < 4 || c > 1.5) }'; then
    status=1
  fi
fi

echo
echo "peak memory (max RSS, KB):"
printf '  %-18s %14s %14s\n' file "--check" "default walk"
for name in $files; do
  file=${!name}
  printf '  %-18s %14s %14s\n' "$(basename "$file")" \
    "$(rss "$bin/vantorel-inspect" --check "$file")" "$(rss "$bin/vantorel-inspect" "$file")"
done
exit $status
