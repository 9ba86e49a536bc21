#!/usr/bin/env bash
# Real Matroska/WebM files for the end-to-end tests, made by independent
# muxers (ffmpeg and mkvmerge) from synthetic lavfi sources:
#   clip.webm            VP8 + Vorbis, ffmpeg; SimpleBlocks, Cues, Tags, Void (README demo)
#   vp9-opus.webm        VP9 + Opus, ffmpeg; Opus settings newer than the catalogue, a
#                        DateUTC and a UTF-8 title
#   h264-aac.mkv         H.264 (B-frames) + AAC, ffmpeg; CRC-32 elements in every level-1
#                        master, a Colour master (newer than the catalogue) with children
#   laced-audio.mkv      MPEG-4 video + MP3 + Vorbis, mkvmerge; audio in Xiph, EBML and
#                        fixed-size laced SimpleBlocks
#   subs-chapters.mkv    VP8 + SRT subtitles, mkvmerge; zlib-compressed subtitles in
#                        BlockGroups, chapters, global tags and an attached text file
#   two-video.mkv        Vorbis + VP8 + H.264, mkvmerge; two video tracks behind an audio
#                        track, all in BlockGroups (no SimpleBlocks)
#   track200.webm        VP8, ffmpeg in WebM DASH mode; track number 200, so every block
#                        starts with a 2-byte track number
#   live.webm            VP8 + Vorbis, ffmpeg live mode written to a pipe; the Segment keeps
#                        its "unknown" size (all ones), as in live WebM streams
#   gst-live.webm        VP8 + Vorbis, GStreamer's webmmux in streamable mode; the Segment
#                        and each of its four Clusters of unknown size, audio in BlockGroups
#
# No video or audio track of these files uses content encoding (mkvmerge gets
# --compression TID:none for them), so their block payloads are the frames as
# ffprobe sees them. Only the subtitle track of subs-chapters.mkv is
# zlib-compressed, for its ContentEncodings elements.
#
# Deterministic for a given ffmpeg/mkvmerge version (gst-live.webm gets new
# random track UIDs each time): bit-exact encoders with
# one thread, fixed sizes and durations, and mkvmerge's --deterministic seed
# (fixed segment and track UIDs, no date).
#
# Usage: samples/make-samples.sh   (writes next to this script)
set -euo pipefail

out=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

FF=(ffmpeg -hide_banner -loglevel error -nostdin -y -threads 1)
EXACT=(-fflags +bitexact -flags:v +bitexact -flags:a +bitexact -map_metadata -1)
VIDEO_SRC=(-f lavfi -i "testsrc2=size=160x120:rate=25:duration=1")
VIDEO_SRC2=(-f lavfi -i "testsrc=size=128x96:rate=15:duration=1")
AUDIO_SRC=(-f lavfi -i "sine=frequency=440:sample_rate=48000:duration=1")
MKVMERGE=(mkvmerge --quiet --deterministic 20240601 --no-date --disable-track-statistics-tags)

# 1. VP8 + Vorbis, the demo file.
"${FF[@]}" "${VIDEO_SRC[@]}" "${AUDIO_SRC[@]}" "${EXACT[@]}" \
    -c:v libvpx -b:v 200k -g 10 -c:a libvorbis -q:a 0 "$out/clip.webm"

# 2. VP9 + Opus, with a production date and a title outside ASCII.
"${FF[@]}" "${VIDEO_SRC[@]}" "${AUDIO_SRC[@]}" "${EXACT[@]}" \
    -metadata creation_time=2024-06-01T12:34:56.789Z -metadata title="Déjà vu – 1 s" \
    -c:v libvpx-vp9 -b:v 150k -g 12 -row-mt 0 -c:a libopus -b:a 32k "$out/vp9-opus.webm"

# 3. H.264 with B-frames + AAC, Matroska with CRC-32 elements; the colour
# properties make ffmpeg write a Colour master in the video settings.
"${FF[@]}" "${VIDEO_SRC[@]}" "${AUDIO_SRC[@]}" "${EXACT[@]}" \
    -c:v libx264 -preset veryfast -crf 30 -g 12 -bf 2 -pix_fmt yuv420p \
    -color_primaries bt709 -color_trc bt709 -colorspace bt709 -color_range tv \
    -c:a aac -b:a 48k "$out/h264-aac.mkv"

# Inputs for mkvmerge.
"${FF[@]}" "${VIDEO_SRC[@]}" "${EXACT[@]}" -c:v mpeg4 -q:v 8 -g 10 "$work/mpeg4.mkv"
"${FF[@]}" "${AUDIO_SRC[@]}" "${EXACT[@]}" -c:a libmp3lame -b:a 32k "$work/audio.mp3"
"${FF[@]}" "${AUDIO_SRC[@]}" "${EXACT[@]}" -c:a libvorbis -q:a 0 "$work/vorbis.ogg"
"${FF[@]}" "${VIDEO_SRC[@]}" "${EXACT[@]}" -c:v libvpx -b:v 150k -g 10 "$work/vp8.webm"
"${FF[@]}" "${VIDEO_SRC2[@]}" "${EXACT[@]}" \
    -c:v libx264 -preset veryfast -crf 32 -g 8 -bf 0 -pix_fmt yuv420p "$work/h264.mp4"

# 4. Laced audio: mkvmerge laces MP3 and Vorbis frames by default, picking
# the cheapest lacing per block (equal MP3 frames get fixed-size lacing).
"${MKVMERGE[@]}" -o "$out/laced-audio.mkv" \
    --compression 0:none "$work/mpeg4.mkv" \
    --compression 0:none "$work/audio.mp3" \
    --compression 0:none "$work/vorbis.ogg"

# 5. Subtitles, chapters, tags and an attachment.
cat > "$work/subs.srt" <<'EOF'
1
00:00:00,100 --> 00:00:00,400
First line

2
00:00:00,500 --> 00:00:00,900
Second line
EOF
cat > "$work/chapters.txt" <<'EOF'
CHAPTER01=00:00:00.000
CHAPTER01NAME=Opening
CHAPTER02=00:00:00.500
CHAPTER02NAME=Second half
EOF
cat > "$work/tags.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<Tags>
  <Tag>
    <Targets><TargetTypeValue>50</TargetTypeValue></Targets>
    <Simple><Name>TITLE</Name><String>Sample with subtitles</String></Simple>
    <Simple><Name>COMMENT</Name><String>Made by make-samples.sh</String></Simple>
  </Tag>
</Tags>
EOF
printf 'A small attached text file.\n' > "$work/notes.txt"
"${MKVMERGE[@]}" -o "$out/subs-chapters.mkv" \
    --chapter-charset UTF-8 --chapters "$work/chapters.txt" \
    --global-tags "$work/tags.xml" \
    --attachment-mime-type text/plain --attachment-description "Notes" \
    --attach-file "$work/notes.txt" \
    --compression 0:none "$work/vp8.webm" \
    --sub-charset 0:UTF-8 --compression 0:zlib "$work/subs.srt"

# 6. Two video tracks behind an audio track, blocks in BlockGroups.
"${MKVMERGE[@]}" --engage no_simpleblocks -o "$out/two-video.mkv" \
    --compression 0:none "$work/vorbis.ogg" \
    --compression 0:none "$work/vp8.webm" \
    --compression 0:none "$work/h264.mp4"

# 7. Track number 200: WebM DASH mode numbers its single track as asked.
"${FF[@]}" "${VIDEO_SRC[@]}" "${EXACT[@]}" \
    -c:v libvpx -b:v 100k -g 10 -dash 1 -dash_track_number 200 "$out/track200.webm"

# 8. Live mode on a pipe: ffmpeg cannot seek back, so the Segment size stays
# the unknown-size marker (Clusters are buffered and get real sizes).
"${FF[@]}" "${VIDEO_SRC[@]}" "${AUDIO_SRC[@]}" "${EXACT[@]}" \
    -c:v libvpx -b:v 150k -g 10 -c:a libvorbis -q:a 0 -live 1 -f webm pipe:1 > "$out/live.webm"

# 9. Live WebM from GStreamer (gstreamer1.0-plugins-good): streamable mode
# writes every Cluster with the unknown-size marker; a Cluster each second,
# at each keyframe.
gst-launch-1.0 -q \
    videotestsrc num-buffers=100 ! video/x-raw,width=96,height=64,framerate=25/1 \
    ! vp8enc deadline=1 keyframe-max-dist=25 threads=1 target-bitrate=50000 ! queue \
    ! webmmux streamable=true creation-time="2024-06-01T12:00:00Z" name=mux ! fdsink fd=1 \
    audiotestsrc num-buffers=94 samplesperbuffer=2048 ! audio/x-raw,rate=48000,channels=1 \
    ! audioconvert ! vorbisenc quality=0 ! queue ! mux. > "$out/gst-live.webm"

ls -l "$out"/*.webm "$out"/*.mkv
