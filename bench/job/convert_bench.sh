#!/usr/bin/env bash
# Times whole conversions with frameloom-cli, stage by stage, next to the closest one-pass ffmpeg job
# on the same input (frames at 8 fps and 160 x 120 with a palette per frame, and 32 kbit/s mono MP3),
# measured in the same run.
#
#   bench/job/convert_bench.sh [BUILD_DIR]     (default: build; it must hold frameloom-cli and Tools/)
#
# Goals: the conversion takes no longer than the ffmpeg job (ratio <= 1.0), and the time outside
# the tools (our own code and starting the tool processes) stays under 10% of the conversion.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build}")
cli=$build/frameloom-cli
[ -x "$cli" ] && [ -d "$build/Tools" ] || { echo "no $cli or $build/Tools: build first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }

echo "making a 60 s clip, 640 x 480 at 25 fps with sound..."
ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i testsrc2=size=640x480:rate=25:duration=60 \
  -f lavfi -i sine=frequency=440:sample_rate=44100:duration=60 -c:v mpeg4 -q:v 4 -c:a aac -shortest \
  "$work/clip60.mp4"
cp ../shared/samples/bottle-detection.mp4 "$work/sample.mp4"

bench() {
  local source=$1 name
  name=$(basename "$source")
  mkdir -p "$work/out-$name"
  echo
  echo "== $name"
  local start end
  start=$(now)
  FRAMELOOM_TIMINGS=1 "$cli" convert "$source" "$work/out-$name/out.mox" > "$work/stdout" 2> "$work/stderr" || {
    cat "$work/stderr" >&2
    return 1
  }
  end=$(now)
  local ours
  ours=$(calc "$end - $start")
  grep '^timing:' "$work/stderr" | sed 's/^timing: /  /'
  # The same command as a comparison, without its sound output when the source has no sound.
  local sound=()
  if [ -n "$(ffprobe -v error -select_streams a -show_entries stream=index -of csv=p=0 "$source")" ]; then
    sound=(-vn -ac 1 -b:a 32k "$work/out-$name/out.mp3")
  fi
  start=$(now)
  ffmpeg -nostdin -hide_banner -loglevel error -y -i "$source" \
    -vf "fps=8,scale=160:120,split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1" \
    "$work/out-$name/out.gif" "${sound[@]}"
  end=$(now)
  local theirs
  theirs=$(calc "$end - $start")
  local outside
  outside=$(sed -n 's/.*outside the tools \([0-9.]*\) s.*/\1/p' "$work/stderr")
  printf '  frameloom-cli %.2f s, ffmpeg one-pass %.2f s, ratio %.2f (goal <= 1.0)\n' "$ours" "$theirs" \
    "$(calc "$ours / $theirs")"
  printf '  outside the tools %.2f s = %.1f%% of the conversion (goal < 10%%)\n' "$outside" \
    "$(calc "100 * $outside / $ours")"
}

bench "$work/clip60.mp4"
bench "$work/sample.mp4"
