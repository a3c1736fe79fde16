#!/usr/bin/env bash
# Whole renders of a 10 s 1920x1080 ProRes clip with sound (a pan across a photograph):
# our executable (HAP fast, HAP normal, HAP Q) against the ffmpeg tool's HAP encoder
# (-format hap and hap_q, 8 chunks), with frames per second (wall clock) and the PSNR of
# each result against the source in rgb24: "PSNR" with the ffmpeg tool's default conversion,
# "PSNR fci" with the source's chroma upsampled as our renderer does (bilinear, full
# horizontal interpolation). The clip is tagged BT.709 throughout. Also times the ffmpeg tool decoding the clip to
# RGBA alone: a renderer that decodes with FFmpeg cannot go below that.
#   bench/render_vs_ffmpeg.sh [photo] [seconds]
# Run by hand, on an idle machine, after a Release build (./test.sh or ./run.sh --help).
set -euo pipefail
cd "$(dirname "$0")/.."
photo=${1:-../shared/testdata/photos/coffee.png}
seconds=${2:-10}
exe=$PWD/build/zelqa_hap_encoder
[ -x "$exe" ] || { echo "build first: $exe is missing" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
frames=$((seconds * 25))

# The pan: the photograph scaled to 2880x1920, a 1920x1080 window sliding across it.
ffmpeg -v error -nostdin -loop 1 -framerate 25 -i "$photo" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000" \
  -filter_complex "[0:v]scale=2880:1920:flags=lanczos,crop=1920:1080:x='(in_w-out_w)*t/$seconds':y='(in_h-out_h)*t/$seconds',scale=out_color_matrix=bt709,format=yuv422p10le,setparams=colorspace=bt709:color_primaries=bt709:color_trc=bt709[v]" \
  -map '[v]' -map 1:a -t "$seconds" -c:v prores_ks -profile:v 2 -c:a pcm_s16le -ac 2 "$tmp/src.mov"

now() { date +%s.%N; }
psnr_of() {  # output source-filter
  ffmpeg -nostdin -i "$1" -i "$tmp/src.mov" \
    -lavfi "[0:v]format=rgb24[a];[1:v]$2format=rgb24[b];[a][b]psnr" -f null - 2>&1 |
    sed -n 's/.*average:\([0-9.inf]*\).*/\1/p' | tail -1
}
report() {  # name seconds output
  printf '%-28s %7.1f fps  %6.2f s  PSNR %s dB  PSNR fci %s dB\n' "$1" "$(echo "$frames / $2" | bc -l)" "$2" \
    "$(psnr_of "$3" "")" "$(psnr_of "$3" "scale=flags=bilinear+full_chroma_int,")"
}

t0=$(now)
ffmpeg -v error -nostdin -i "$tmp/src.mov" -pix_fmt rgba -f null -
t1=$(now)
printf '%-28s %7.1f fps  %6.2f s\n' "ffmpeg decode to rgba" "$(echo "$frames / ($t1 - $t0)" | bc -l)" \
  "$(echo "$t1 - $t0" | bc -l)"

run_ours() {  # name output options...
  local name=$1 out=$2
  shift 2
  local t0 t1
  t0=$(now)
  "$exe" --cmd_line_render -i "$tmp/src.mov" -o "$out" "$@" >"$tmp/log.txt"
  t1=$(now)
  report "$name" "$(echo "$t1 - $t0" | bc -l)" "$out"
}
run_ffmpeg() {  # name output format
  local t0 t1
  t0=$(now)
  ffmpeg -v error -nostdin -i "$tmp/src.mov" -c:v hap -format "$3" -chunks 8 -c:a copy "$2"
  t1=$(now)
  report "$1" "$(echo "$t1 - $t0" | bc -l)" "$2"
}

run_ours "ours HAP fast" "$tmp/ours_fast.mov"
run_ours "ours HAP normal" "$tmp/ours_normal.mov" -enc_quality normal
run_ours "ours HAP Q" "$tmp/ours_q.mov" -codec hapq
run_ffmpeg "ffmpeg HAP" "$tmp/ff_hap.mov" hap
run_ffmpeg "ffmpeg HAP Q" "$tmp/ff_hapq.mov" hap_q
