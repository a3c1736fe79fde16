#!/usr/bin/env bash
# FFmpeg's own HAP encoder on the frame texenc_bench uses: a 1920x1080 photograph scaled
# with lanczos. Prints megapixels per second on one thread and on all cores (texture
# encoding only: -compressor none), and the PSNR of the decoded result.
#   bench/ffmpeg_hap_bench.sh [frames] [photo]
set -euo pipefail
cd "$(dirname "$0")/.."
frames=${1:-60}
photo=${2:-../shared/testdata/photos/coffee.png}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

ffmpeg -v error -nostdin -i "$photo" -vf scale=1920:1080:flags=lanczos,format=rgba -frames:v 1 \
  -f rawvideo -pix_fmt rgba "$tmp/frame.rgba"
# The same alpha as texenc_bench: max(r, g, b) - min(r, g, b).
python3 - "$tmp/frame.rgba" <<'EOF'
import sys
p = sys.argv[1]
b = bytearray(open(p, 'rb').read())
for i in range(0, len(b), 4):
    r, g, bl = b[i], b[i + 1], b[i + 2]
    b[i + 3] = max(r, g, bl) - min(r, g, bl)
open(p, 'wb').write(b)
EOF

src=(-f rawvideo -pix_fmt rgba -s 1920x1080)
for format in hap hap_alpha; do
  for threads in 1 0; do
    start=$(date +%s.%N)
    ffmpeg -v error -nostdin -stream_loop $((frames - 1)) "${src[@]}" -i "$tmp/frame.rgba" \
      -c:v hap -format $format -compressor none -threads $threads -f null -
    end=$(date +%s.%N)
    python3 -c "import sys; f=$frames; t=$end-$start; print(f'ffmpeg {sys.argv[1]:9s} threads={sys.argv[2]:3s} {f*1920*1080/t/1e6:8.1f} MP/s  ({t/f*1000:.1f} ms/frame)')" \
      $format $([ $threads = 0 ] && echo all || echo 1)
  done
  # Quality: one frame through the encoder and back.
  ffmpeg -v error -nostdin "${src[@]}" -i "$tmp/frame.rgba" -c:v hap -format $format -compressor none \
    -frames:v 1 "$tmp/$format.mov"
  ffmpeg -v error -nostdin -i "$tmp/$format.mov" -f rawvideo -pix_fmt rgba "$tmp/$format.rgba"
  python3 - "$tmp/frame.rgba" "$tmp/$format.rgba" $format <<'EOF'
import math, sys
a = open(sys.argv[1], 'rb').read()
b = open(sys.argv[2], 'rb').read()
def psnr(chans):
    se = 0
    n = 0
    for c in chans:
        x = a[c::4]
        y = b[c::4]
        se += sum((p - q) * (p - q) for p, q in zip(x, y))
        n += len(x)
    return 99.0 if se == 0 else 10 * math.log10(255 * 255 * n / se)
line = f'ffmpeg {sys.argv[3]:9s} PSNR_rgb={psnr([0, 1, 2]):.2f}'
if sys.argv[3] == 'hap_alpha':
    line += f' PSNR_alpha={psnr([3]):.2f}'
print(line)
EOF
done
