#!/usr/bin/env bash
# FFmpeg's own HAP encoder on the frame texenc_bench uses: a 1920x1080 photograph scaled
# with lanczos, alpha = max(r, g, b) - min(r, g, b). Prints megapixels per second on one
# thread (over the ffmpeg process's processor time, fair on a busy machine) and on all
# cores (wall-clock), texture encoding only (-compressor none), and the PSNR of the
# decoded result.
#   bench/ffmpeg_hap_bench.sh [frames] [photo]
set -euo pipefail
cd "$(dirname "$0")/.."
frames=${1:-60}
photo=${2:-../shared/testdata/photos/coffee.png}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

ffmpeg -v error -nostdin -i "$photo" -vf scale=1920:1080:flags=lanczos,format=rgba -frames:v 1 \
  -f rawvideo -pix_fmt rgba "$tmp/frame.rgba"

python3 - "$tmp" "$frames" <<'PY'
import math, resource, subprocess, sys, time

tmp, frames = sys.argv[1], int(sys.argv[2])
src = tmp + '/frame.rgba'
b = bytearray(open(src, 'rb').read())
for i in range(0, len(b), 4):
    r, g, bl = b[i], b[i + 1], b[i + 2]
    b[i + 3] = max(r, g, bl) - min(r, g, bl)
open(src, 'wb').write(b)
raw = ['-f', 'rawvideo', '-pix_fmt', 'rgba', '-s', '1920x1080']


def psnr(a, d, chans):
    se = n = 0
    for c in chans:
        x, y = a[c::4], d[c::4]
        se += sum((p - q) * (p - q) for p, q in zip(x, y))
        n += len(x)
    return 99.0 if se == 0 else 10 * math.log10(255 * 255 * n / se)


for fmt in ('hap', 'hap_alpha'):
    for threads in ('1', '0'):
        cmd = ['ffmpeg', '-v', 'error', '-nostdin', '-stream_loop', str(frames - 1)] + raw + [
            '-i', src, '-c:v', 'hap', '-format', fmt, '-compressor', 'none', '-threads', threads, '-f', 'null', '-']
        r0 = resource.getrusage(resource.RUSAGE_CHILDREN)
        t0 = time.time()
        subprocess.run(cmd, check=True)
        wall = time.time() - t0
        r1 = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = (r1.ru_utime - r0.ru_utime) + (r1.ru_stime - r0.ru_stime)
        used, kind = (cpu, 'cpu') if threads == '1' else (wall, 'wall')
        name = '1' if threads == '1' else 'all'
        print(f'ffmpeg {fmt:9s} threads={name:3s} {frames * 1920 * 1080 / used / 1e6:8.1f} MP/s'
              f'  ({used / frames * 1000:.1f} ms/frame {kind})', flush=True)
    mov, out = f'{tmp}/{fmt}.mov', f'{tmp}/{fmt}.rgba'
    subprocess.run(['ffmpeg', '-v', 'error', '-nostdin'] + raw + ['-i', src, '-c:v', 'hap', '-format', fmt,
                    '-compressor', 'none', '-frames:v', '1', mov], check=True)
    subprocess.run(['ffmpeg', '-v', 'error', '-nostdin', '-i', mov, '-f', 'rawvideo', '-pix_fmt', 'rgba', out],
                   check=True)
    dec = open(out, 'rb').read()
    line = f'ffmpeg {fmt:9s} PSNR_rgb={psnr(b, dec, [0, 1, 2]):.2f}'
    if fmt == 'hap_alpha':
        line += f' PSNR_alpha={psnr(b, dec, [3]):.2f}'
    print(line, flush=True)
PY
