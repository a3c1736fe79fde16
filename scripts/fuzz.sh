#!/usr/bin/env bash
# Builds the libFuzzer target of the MOV reader with clang and runs it by hand.
#   scripts/fuzz.sh [SECONDS] [extra libFuzzer options...]
# The corpus grows in build-fuzz/corpus; a crash is written to build-fuzz/ and should be
# copied to tests/container/fuzz/inputs/, where ctest replays it under the normal build.
# Not part of the gcc build.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
shift || true
if ! command -v clang++ >/dev/null 2>&1; then
  if [ "$(id -u)" -eq 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q clang
  else
    echo "clang++ is needed: apt-get install clang" >&2
    exit 1
  fi
fi
out=build-fuzz
mkdir -p "$out/corpus"
srcs=(tests/container/fuzz/mov_reader_fuzz.cpp container/mov/mov_reader.cpp container/mov/mov_reader_video.cpp
      container/mov/mov_reader_audio.cpp platform/core/errors.cpp platform/core/log.cpp)
clang++ -std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined \
  -fno-sanitize-recover=undefined -I. "${srcs[@]}" -o "$out/mov_reader_fuzz" -lpthread
# Seeds: small files made by the ffmpeg tool, plus the crash cases already kept.
if command -v ffmpeg >/dev/null 2>&1 && [ ! -e "$out/corpus/.seeded" ]; then
  ff() { ffmpeg -v error -y "$@"; }
  src="-f lavfi -i testsrc2=size=32x16:rate=25"
  ff $src -frames:v 4 -c:v hap "$out/corpus/hap.mov"
  ff $src -f lavfi -i sine=duration=0.3 -frames:v 4 -c:v hap -c:a pcm_s24le -timecode 01:00:00:00 "$out/corpus/hap_audio_tc.mov"
  ff $src -f lavfi -i sine=duration=0.3 -frames:v 3 -c:v rawvideo -pix_fmt uyvy422 -c:a pcm_f32be -ac 6 "$out/corpus/uyvy_lpcm.mov"
  ff -f lavfi -i testsrc2=size=32x16:rate=60 -frames:v 12 -vf "setpts='if(lt(N,6),N/60,0.1+(N-6)/20)/TB'" \
     -fps_mode passthrough -c:v hap "$out/corpus/vfr.mov"
  touch "$out/corpus/.seeded"
fi
cp -n tests/container/fuzz/inputs/* "$out/corpus/" 2>/dev/null || true
export ASAN_OPTIONS=${ASAN_OPTIONS:-allocator_may_return_null=1:detect_leaks=1}
"$out/mov_reader_fuzz" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 \
  -close_fd_mask=1 -artifact_prefix="$out/" "$@" "$out/corpus"
