#!/usr/bin/env bash
# Builds one libFuzzer target with clang (AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs it by hand. Not part of the gcc build or of ./test.sh.
#   scripts/fuzz.sh TARGET [SECONDS] [extra libFuzzer options...]
# TARGET: mov_reader (MOV reader), hap_frame (HAP frame parser and texture unpacking),
#         notchlc (Notch LC decoder), bc7 (BC7 block decoder), wav_reader (WAV and RF64
#         reader), image_header (PNG, JPEG and TIFF headers), image_decode (their decode
#         nodes); setting_reader, crop_list_reader, expression, prefs_reader,
#         presets_export_reader and json_exchange_reader go to fuzz_settings.sh;
#         queue_reader (render-queue file) goes to fuzz_queue.sh.
# The corpus grows in build-fuzz/TARGET/corpus; a crash is written to build-fuzz/TARGET/
# and, once fixed, is kept in tests/container/fuzz/inputs/TARGET/, which ctest replays for
# the container targets; the others get a regression test beside their reader's tests.
# Several targets may run at once (one process each, e.g. -jobs=1 per core).
set -euo pipefail
cd "$(dirname "$0")/.."
usage() { sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
[ $# -ge 1 ] || usage
target=$1
shift
case "$target" in
  setting_reader | crop_list_reader | expression | prefs_reader | presets_export_reader | json_exchange_reader) exec scripts/fuzz_settings.sh "$target" "$@" ;;
esac
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

# The code under test is compiled here file by file: the rest of the tree is built by gcc.
core=(platform/core/*.cpp)
frames=(media/video_frame.cpp media/video_filter.cpp)
texdec=(container/texdec/dxt_decoder.cpp container/texdec/bc7decomp/bc7decomp.cpp)
libs=()
harness=tests/container/fuzz/${target}_fuzz.cpp
images=(pipeline/image/mem_tiff_io.cpp pipeline/image/tiff_checks.cpp)
case "$target" in
  mov_reader) srcs=(container/mov/mov_reader*.cpp "${core[@]}") ;;
  hap_frame)  srcs=(container/hap/*.cpp container/texdec/dxt_decode_filter.cpp "${texdec[@]}" "${frames[@]}" "${core[@]}")
              libs=(-lsnappy) ;;
  notchlc)    srcs=(container/mov/notchlc_decode.cpp "${frames[@]}" "${core[@]}"); libs=(-llz4) ;;
  bc7)        srcs=("${texdec[@]}" "${core[@]}") ;;
  wav_reader) harness=tests/pipeline/fuzz/wav_reader_fuzz.cpp
              srcs=(pipeline/audio/wav_reader.cpp container/mov/mov_reader*.cpp "${core[@]}") ;;
  image_header)
              harness=tests/pipeline/fuzz/image_header_fuzz.cpp
              srcs=(pipeline/image/image_header.cpp "${images[@]}" container/mov/mov_reader*.cpp "${core[@]}")
              libs=(-lpng16 -lturbojpeg -ltiff) ;;
  image_decode)
              harness=tests/pipeline/fuzz/image_decode_fuzz.cpp
              srcs=(pipeline/image/*_decode.cpp "${images[@]}" "${frames[@]}" "${core[@]}")
              libs=(-lpng16 -lturbojpeg -ltiff) ;;
  *) echo "unknown target: $target" >&2; usage ;;
esac

out=build-fuzz/$target
mkdir -p "$out/corpus"
flags=(-std=c++20 -O1 -g -Wall -Wextra -fno-omit-frame-pointer -ffp-contract=off -I. -Itests)
clang++ "${flags[@]}" -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  "$harness" "${srcs[@]}" -o "$out/${target}_fuzz" "${libs[@]}" -lpthread

# Seeds, once: small files made by the ffmpeg tool for the MOV reader, frames and blocks
# made by tests/container/fuzz/fuzz_seeds.cpp for the others; then the kept inputs.
# The image seeds end with the bytes that pick the reader (and the decode size).
if [ ! -e "$out/corpus/.seeded" ]; then
  ff() { ffmpeg -v error -y "$@"; }
  c=$out/corpus
  case $target in mov_reader | wav_reader | image_*)
    command -v ffmpeg >/dev/null 2>&1 || { echo "ffmpeg is needed for the seeds" >&2; exit 1; } ;;
  esac
  if [ "$target" = wav_reader ]; then
    ff -f lavfi -i sine=duration=0.02 -c:a pcm_s16le "$c/s16.wav"
    ff -f lavfi -i sine=duration=0.02 -ac 6 -c:a pcm_f32le "$c/f32_6ch.wav"
    ff -f lavfi -i sine=duration=0.02 -c:a pcm_s24le -rf64 always "$c/rf64.wav"
  elif [ "$target" = image_header ] || [ "$target" = image_decode ]; then
    tmp=$(mktemp -d)
    i=0
    for ext in png jpg tiff; do
      ff -f lavfi -i testsrc2=size=16x16 -frames:v 1 "$tmp/a.$ext"
      if [ "$target" = image_header ]; then
        { cat "$tmp/a.$ext"; printf "\\$(printf %o $i)"; } > "$c/a.$ext"
      else
        { cat "$tmp/a.$ext"; printf '\017'; printf "\\$(printf %o $i)"; } > "$c/a.$ext"
      fi
      i=$((i + 1))
    done
    rm -rf "$tmp"
  elif [ "$target" = mov_reader ]; then
    src="-f lavfi -i testsrc2=size=32x16:rate=25"
    ff $src -frames:v 4 -c:v hap "$c/hap.mov"
    ff $src -f lavfi -i sine=duration=0.3 -frames:v 4 -c:v hap -c:a pcm_s24le -timecode 01:00:00:00 "$c/hap_audio_tc.mov"
    ff $src -f lavfi -i sine=duration=0.3 -frames:v 3 -c:v rawvideo -pix_fmt uyvy422 -c:a pcm_f32be -ac 6 "$c/uyvy_lpcm.mov"
    ff -f lavfi -i testsrc2=size=32x16:rate=60 -frames:v 12 -vf "setpts='if(lt(N,6),N/60,0.1+(N-6)/20)/TB'" \
       -fps_mode passthrough -c:v hap "$c/vfr.mov"
  else
    clang++ "${flags[@]}" -fsanitize=address tests/container/fuzz/fuzz_seeds.cpp container/hap/hap.cpp \
      -o build-fuzz/fuzz_seeds -lsnappy -llz4
    build-fuzz/fuzz_seeds "$target" "$out/corpus"
  fi
  touch "$out/corpus/.seeded"
fi
if [ -d "tests/container/fuzz/inputs/$target" ]; then
  cp -n "tests/container/fuzz/inputs/$target"/* "$out/corpus/" 2>/dev/null || true
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-allocator_may_return_null=1:detect_leaks=1}
"$out/${target}_fuzz" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 \
  -close_fd_mask=1 -artifact_prefix="$out/" "$@" "$out/corpus"
