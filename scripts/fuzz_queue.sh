#!/usr/bin/env bash
# Builds the libFuzzer target of the render-queue file reader with clang and runs it by hand.
#   scripts/fuzz_queue.sh [SECONDS] [libFuzzer options...]
# The model and platform code is compiled here with the sanitizers; the media pipeline that
# probes the sources is linked from the gcc Release tree in build/ (run ./test.sh first).
# Seeds are queue files over sources made by the ffmpeg tool in build-fuzz/queue_reader/src.
# A crash is written to build-fuzz/queue_reader/ and, once fixed, kept in
# tests/model_queue/fuzz/inputs/queue_reader/, where ctest replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
shift || true
command -v clang++ >/dev/null 2>&1 || { echo "clang++ is needed: apt-get install clang" >&2; exit 1; }
command -v ffmpeg >/dev/null 2>&1 || { echo "ffmpeg is needed for the seeds" >&2; exit 1; }
for lib in pipeline container texenc texenc/clusterfit_avx texenc/clusterfit media; do
  [ -e "build/$lib/lib$(basename "$lib").a" ] || { echo "build/$lib is missing: run ./test.sh first" >&2; exit 1; }
done
out=build-fuzz/queue_reader
mkdir -p "$out/corpus" "$out/src"
out_abs=$(cd "$out" && pwd)
srcs=(tests/model_queue/fuzz/queue_reader_fuzz.cpp model/queue/*.cpp model/settings/*.cpp model/settings/randomcolor/*.cpp
      platform/foundation/*.cpp platform/core/*.cpp)
pkgs="libavformat libavcodec libavutil libswscale libpng libturbojpeg libtiff-4 samplerate libebur128 zimg snappy liblz4
      expat nlohmann_json icu-uc icu-i18n uuid"
clang++ -std=c++20 -O1 -g -fno-omit-frame-pointer -ffp-contract=off -fsanitize=fuzzer,address,undefined \
  -fno-sanitize-recover=undefined -I. -Itests/model_queue $(pkg-config --cflags $pkgs) "${srcs[@]}" \
  build/pipeline/libpipeline.a build/container/libcontainer.a build/texenc/libtexenc.a \
  build/texenc/clusterfit_avx/libclusterfit_avx.a build/texenc/clusterfit/libclusterfit.a build/media/libmedia.a \
  -o "$out/fuzz" $(pkg-config --libs $pkgs) -lsoundio -lpthread
# Seeds: the golden queue file over sources of the same names.
if [ ! -e "$out/corpus/.seeded" ]; then
  ff() { ffmpeg -v error -nostdin -y "$@"; }
  ff -f lavfi -i testsrc2=size=32x16:rate=25 -f lavfi -i sine=duration=1 -frames:v 10 -ac 2 -c:v hap -c:a pcm_s16le \
     -shortest "$out/src/clip.mov"
  ff -f lavfi -i testsrc2=size=32x16:rate=25 -frames:v 5 -c:v hap "$out/src/second clip.mov"
  ff -f lavfi -i sine=duration=0.2 -ac 1 -c:a pcm_s16le "$out/src/second clip_L.wav"
  cp "$out/src/second clip_L.wav" "$out/src/second clip_R.wav"
  sed "s#@DIR@#$out_abs/src#g" tests/model_queue/data/two_tasks.xml > "$out/corpus/two_tasks.xml"
  sed "s#@DIR@#$out_abs/src#g; s#k=\"state\" v=\"6\"#k=\"state\" v=\"2\"#" tests/model_queue/data/two_tasks.xml \
    > "$out/corpus/running.xml"
  touch "$out/corpus/.seeded"
fi
cp -n tests/model_queue/fuzz/inputs/queue_reader/* "$out/corpus/" 2>/dev/null || true
export XDG_CONFIG_HOME=$out_abs/config
export ASAN_OPTIONS=${ASAN_OPTIONS:-allocator_may_return_null=1:detect_leaks=1}
"$out/fuzz" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -timeout=20 -close_fd_mask=3 \
  -artifact_prefix="$out/" "$@" "$out/corpus"
