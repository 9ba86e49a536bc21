#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Speed of vantorel-inspect against the tools users would pick instead, on
# the same files in one run, with the files in the page cache: the median of
# ROUNDS runs each, the tools taking turns within a round.
#
#   bench/compare.sh [BUILD_DIR] [ROUNDS]      (defaults: build, 5)
#
# "text" is the default text view, "rows" the full tree of --rows; "classic"
# is the text output with --classic, as a ratio to the default text output
# of the same rounds. FILES="many" (any of many, big, tiny) runs only those
# files.
#
# With BASELINE=OTHER_BUILD_DIR, that build (an older commit, or one with a
# shortcut taken out) takes its turns in the same rounds with its default
# text and JSON outputs, --modern and --check, and the ratios of this
# build's to them are printed: text, json and check to the same options;
# classic to its default text (for a build older than --classic, that is the
# classic walk too); modern, this build's default text to its --modern.
#
# Files (made once, deterministically, in BUILD_DIR/bench-files):
#   many-blocks.mkv  20 min of 16x16 MPEG-4 at 250 fps and AAC: 300,000 video
#                    and 56,251 audio SimpleBlocks, about 7 MB
#   raw-video.mkv    92 s of 1024x768 raw video: 2,300 blocks of 1.2 MB, 2.7 GB
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-5}
bin=$build/bin
work=${BENCH_DIR:-$build/bench-files}
tiny=samples/clip.webm # start-up: loading Qt and the plug-in, a walk of 33 KB
files=${FILES:-many big tiny}
# shellcheck source=bench/common.sh
source bench/common.sh
elements() { # the walk's element count, from the walk benchmark
  VANTOREL_BENCH_FILE=$1 "$bin/walk-benchmark" --benchmark_min_time=0.01 2>/dev/null |
    sed -n 's/.*elements=\([0-9.]*\)\([kM]*\).*/\1 \2/p' |
    awk '{ m = $2 == "k" ? 1e3 : $2 == "M" ? 1e6 : 1; printf "%d", $1 * m }'
}

# The walk is compared with CRC checks off, as the other tools do not check
# them (nor does the default output); "crc" is the text output with --crc,
# which reads the payload of every master that starts with a CRC-32 (ffmpeg
# writes one in each Cluster).
tools=(text rows json mkvinfo ffprobe crc classic)
[ -n "${BASELINE:-}" ] && tools+=(check base-text base-json base-modern base-check)
run_tool() { # tool file
  case $1 in
    base-text) ms "$BASELINE/bin/vantorel-inspect" --no-crc "$2" ;;
    base-json) ms "$BASELINE/bin/vantorel-inspect" --no-crc --json "$2" ;;
    base-modern) ms "$BASELINE/bin/vantorel-inspect" --no-crc --modern "$2" ;;
    base-check) ms "$BASELINE/bin/vantorel-inspect" --check "$2" ;;
    check) ms "$bin/vantorel-inspect" --check "$2" ;;
    text) ms "$bin/vantorel-inspect" --no-crc "$2" ;;
    rows) ms "$bin/vantorel-inspect" --no-crc --rows "$2" ;;
    json) ms "$bin/vantorel-inspect" --no-crc --json "$2" ;;
    crc) ms "$bin/vantorel-inspect" --crc "$2" ;;
    classic) ms "$bin/vantorel-inspect" --no-crc --classic "$2" ;;
    mkvinfo) ms mkvinfo -a -z -P "$2" ;;
    ffprobe) ms ffprobe -v error -show_packets "$2" ;;
  esac
}

declare -A result
for name in $files; do
  file=${!name}
  cat "$file" >/dev/null # into the page cache
  tmp=$(mktemp -d)
  for _ in $(seq "$rounds"); do
    for tool in "${tools[@]}"; do
      run_tool "$tool" "$file" >>"$tmp/$tool"
    done
  done
  for tool in "${tools[@]}"; do
    result[$name,$tool]=$(median <"$tmp/$tool")
  done
  rm -rf "$tmp"
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf("%.1f", (b > 0) ? a / b : 0) }'; }
printf '%-16s %10s %10s %10s %10s %10s %16s %10s\n' "median ms" text rows json mkvinfo ffprobe \
  "text with CRCs" classic
for name in $files; do
  printf '%-16s %10s %10s %10s %10s %10s %16s %10s\n' "$(basename "${!name}")" "${result[$name,text]}" \
    "${result[$name,rows]}" "${result[$name,json]}" "${result[$name,mkvinfo]}" "${result[$name,ffprobe]}" \
    "${result[$name,crc]}" "${result[$name,classic]}"
done
echo
echo "--classic against the default walk (time ratio, one run):"
for name in $files; do
  echo "  $(basename "${!name}"): x$(awk -v a="${result[$name,classic]}" -v b="${result[$name,text]}" 'BEGIN { printf("%.3f", a / b) }')"
done
has many || exit 0
echo
echo "on $(basename "$many"), vantorel-inspect is faster than"
for out in text json; do
  t=${result[many,$out]}
  echo "  $out:  mkvinfo -a -z -P x$(ratio "${result[many,mkvinfo]}" "$t"),  ffprobe -show_packets x$(ratio "${result[many,ffprobe]}" "$t")"
done

if [ -n "${BASELINE:-}" ]; then
  echo
  echo "this build against $BASELINE (time ratio, one run):"
  for name in $files; do
    line=""
    for pair in text:text json:json classic:text text:modern check:check; do
      ours=${pair%%:*} theirs=${pair##*:}
      label=$ours
      [ "$theirs" = modern ] && label=modern
      line+=" $label x$(awk -v a="${result[$name,$ours]}" -v b="${result[$name,base-$theirs]}" 'BEGIN { printf("%.3f", a / b) }')"
    done
    echo "  $(basename "${!name}"):$line"
  done
fi

has big && has tiny || exit 0
if [ -x "$bin/walk-benchmark" ]; then
  n_many=$(elements "$many")
  n_big=$(elements "$big")
  echo
  echo "elements: $n_many in $(basename "$many"), $n_big in $(basename "$big")"
  # Per element, as measured and with the start-up (the tiny file's time)
  # taken off both, which no element costs.
  for out in text json; do
    t_many=${result[many,$out]} t_big=${result[big,$out]} t0=${result[tiny,$out]}
    echo "  $out: time per element on $(basename "$big") is" \
      "x$(awk -v a="$t_big" -v n="$n_big" -v b="$t_many" -v m="$n_many" \
        'BEGIN { printf("%.1f", (a / n) / (b / m)) }')" \
      "that on $(basename "$many"); without start-up" \
      "x$(awk -v a="$t_big" -v n="$n_big" -v b="$t_many" -v m="$n_many" -v z="$t0" \
        'BEGIN { printf("%.1f", ((a - z) / n) / ((b - z) / m)) }')"
  done
  echo
  echo "the walk alone (walk-benchmark, a sink that discards everything):"
  for file in "$many" "$big"; do
    VANTOREL_BENCH_FILE=$file "$bin/walk-benchmark" 2>/dev/null | grep walkFile |
      sed "s|^walkFile/min_time:[0-9.]*|  $(basename "$file")|"
  done
fi

echo
echo "start-up and walk of $tiny ($(stat -c %s "$tiny") bytes): ${result[tiny,text]} ms"
