# SPDX-License-Identifier: MIT
# What the speed comparisons share, sourced by them: the bench files, made
# once and deterministically in $work, the shell-clock timer and the median.
#   many-blocks.mkv  20 min of 16x16 MPEG-4 at 250 fps and AAC: 300,000 video
#                    and 56,251 audio SimpleBlocks, about 7 MB
#   raw-video.mkv    92 s of 1024x768 raw video: 2,300 blocks of 1.2 MB, 2.7 GB
# Needs: work (a folder) and files (the names among "many big" to make).
exact=(-fflags +bitexact -flags:v +bitexact -flags:a +bitexact)
many=$work/many-blocks.mkv
big=$work/raw-video.mkv
has() { [[ " $files " == *" $1 "* ]]; }
mkdir -p "$work"
if has many && [ ! -f "$many" ]; then
  ffmpeg -v error -y -f lavfi -i testsrc2=s=16x16:r=250 -f lavfi -i sine=r=48000 \
    -t 1200 -c:v mpeg4 -q:v 31 -g 250 -c:a aac -b:a 8k "${exact[@]}" "$many"
fi
if has big && [ ! -f "$big" ]; then
  ffmpeg -v error -y -f lavfi -i testsrc2=s=1024x768:r=25 -t 92 \
    -c:v rawvideo -pix_fmt yuv420p "${exact[@]}" "$big"
fi

# Wall time in ms, read from the shell's own clock: no process is started
# around the measured one. The exit status does not count (--check and
# mediaconch exit 1 on findings).
ms() {
  local start end
  start=${EPOCHREALTIME/./}
  "$@" >/dev/null 2>&1 || true
  end=${EPOCHREALTIME/./}
  awk -v us=$((end - start)) 'BEGIN { printf("%.1f\n", us / 1000) }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
