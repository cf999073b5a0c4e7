#!/usr/bin/env bash
# Converts each clip with frameloom-cli and with the closest one-pass ffmpeg job (frames at 8 fps and
# 160 x 120 with a palette per frame as GIF, and 32 kbit/s mono MP3), the two taking turns ROUNDS
# times, and prints for each clip:
#   - the median time of each and their ratio, and frameloom's stages from its last run;
#   - the time outside the tools (our own code and starting the tool processes);
#   - each output's size;
#   - the PSNR of each output's pictures against the source scaled to 160 x 120 at 8 fps by ffmpeg
#     (frameloom's decoded by frameloom-cli decode, the GIF's frames as ffmpeg reads them).
#
#   bench/job/convert_bench.sh [BUILD_DIR [ROUNDS]]   (default: build, 3; BUILD_DIR must hold
#                                                     frameloom-cli and Tools/)
#
# Goals: no slower than the ffmpeg job (ratio <= 1.0), under 10% of the time outside the tools, and
# a PSNR no more than 1 dB below the ffmpeg job's.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build}")
rounds=${2:-3}
cli=$build/frameloom-cli
[ -x "$cli" ] && [ -d "$build/Tools" ] || { echo "no $cli or $build/Tools: build first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
size() { stat -c %s "$1"; }
# A channel cut to its top bits (mask) and widened by repeating them (divisor), as an lutrgb expression.
widen() { echo "bitand(val\\,$1)+floor(bitand(val\\,$1)/$2)"; }
quiet_ffmpeg() { ffmpeg -nostdin -hide_banner -loglevel error "$@"; }

# Average PSNR over the frames both folders have, all three channels.
psnr() {
  ffmpeg -nostdin -hide_banner -framerate 8 -i "$1/%08d.png" -framerate 8 -i "$2/%08d.png" \
    -lavfi "[0:v][1:v]psnr=shortest=1" -f null - 2>&1 | sed -n 's/.*PSNR .* average:\([0-9.inf]*\).*/\1/p'
}

echo "making a 60 s clip, 640 x 480 at 25 fps with sound..."
quiet_ffmpeg -f lavfi -i testsrc2=size=640x480:rate=25:duration=60 \
  -f lavfi -i sine=frequency=440:sample_rate=44100:duration=60 -c:v mpeg4 -q:v 4 -c:a aac -shortest \
  "$work/clip60.mp4"
cp ../shared/samples/bottle-detection.mp4 "$work/sample.mp4"

bench() {
  local source=$1 name out
  name=$(basename "$source")
  out=$work/out-$name
  mkdir -p "$out"
  echo
  echo "== $name, $rounds rounds"
  # The same command as a comparison, without its sound output when the source has no sound.
  local sound=()
  if [ -n "$(ffprobe -v error -select_streams a -show_entries stream=index -of csv=p=0 "$source")" ]; then
    sound=(-vn -ac 1 -b:a 32k "$out/peer.mp3")
  fi
  local ours=() theirs=() start round
  for ((round = 1; round <= rounds; round++)); do
    rm -f "$out/out.mox" "$out/peer.gif" "$out/peer.mp3"
    start=$(now)
    FRAMELOOM_TIMINGS=1 "$cli" convert "$source" "$out/out.mox" > "$work/stdout" 2> "$work/stderr" || {
      cat "$work/stderr" >&2
      return 1
    }
    ours+=("$(calc "$(now) - $start")")
    start=$(now)
    quiet_ffmpeg -y -i "$source" \
      -vf "fps=8,scale=160:120,split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1" \
      "$out/peer.gif" "${sound[@]}"
    theirs+=("$(calc "$(now) - $start")")
  done
  grep '^timing:' "$work/stderr" | sed 's/^timing: /  last run: /'
  local oursMedian theirsMedian outside
  oursMedian=$(median "${ours[@]}")
  theirsMedian=$(median "${theirs[@]}")
  outside=$(sed -n 's/.*outside the tools \([0-9.]*\) s.*/\1/p' "$work/stderr")
  printf '  time: frameloom-cli %.2f s (runs: %s), ffmpeg one-pass %.2f s (runs: %s)\n' "$oursMedian" \
    "$(printf '%.2f ' "${ours[@]}")" "$theirsMedian" "$(printf '%.2f ' "${theirs[@]}")"
  printf '  ratio %.2f (goal <= 1.0)\n' "$(calc "$oursMedian / $theirsMedian")"
  printf '  outside the tools %.2f s = %.1f%% of the last conversion (goal < 10%%)\n' "$outside" \
    "$(calc "100 * $outside / ${ours[-1]}")"

  local peerBytes
  peerBytes=$(size "$out/peer.gif")
  [ -f "$out/peer.mp3" ] && peerBytes=$((peerBytes + $(size "$out/peer.mp3")))
  printf '  size: frameloom %d bytes, ffmpeg one-pass %d bytes (GIF and MP3)\n' "$(size "$out/out.mox")" "$peerBytes"

  mkdir -p "$out/reference" "$out/ours" "$out/peer"
  quiet_ffmpeg -i "$source" -vf fps=8,scale=160:120 "$out/reference/%08d.png"
  "$cli" decode "$out/out.mox" "$out/ours" > /dev/null
  quiet_ffmpeg -i "$out/peer.gif" -fps_mode passthrough "$out/peer/%08d.png"
  # What the player's colours allow at best: the scaled source itself in RGB565, widened back as
  # decode widens it.
  mkdir -p "$out/rgb565"
  quiet_ffmpeg -i "$out/reference/%08d.png" -vf "lutrgb=r='$(widen 248 32)':g='$(widen 252 64)':b='$(widen 248 32)'" \
    "$out/rgb565/%08d.png"
  local oursPsnr theirsPsnr
  oursPsnr=$(psnr "$out/reference" "$out/ours")
  theirsPsnr=$(psnr "$out/reference" "$out/peer")
  printf '  PSNR against the scaled source: frameloom %.2f dB (%d frames), ffmpeg one-pass %.2f dB (%d frames), difference %.2f dB (goal >= -1.0)\n' \
    "$oursPsnr" "$(ls "$out/ours" | wc -l)" "$theirsPsnr" "$(ls "$out/peer" | wc -l)" "$(calc "$oursPsnr - $theirsPsnr")"
  printf '  PSNR of the scaled source itself in RGB565, the most a .mox can show: %.2f dB\n' \
    "$(psnr "$out/reference" "$out/rgb565")"
}

bench "$work/clip60.mp4"
bench "$work/sample.mp4"
