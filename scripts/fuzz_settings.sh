#!/usr/bin/env bash
# Builds one libFuzzer target of the settings readers with clang and runs it by hand.
#   scripts/fuzz_settings.sh TARGET [SECONDS] [libFuzzer options...]
# TARGET: setting_reader, crop_list_reader, expression, prefs_reader (preferences file),
#         presets_export_reader (presets export file), json_exchange_reader (text replacement
#         and conditional preset files).
# The corpus grows in build-fuzz/<target>/corpus; a crash is written to build-fuzz/<target>/ and
# should be copied to tests/model_settings/fuzz/inputs/<target>/, where ctest replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
target=$1
seconds=${2:-120}
shift 2 || shift $#
if ! command -v clang++ >/dev/null 2>&1; then
  echo "clang++ is needed: apt-get install clang" >&2
  exit 1
fi
out=build-fuzz/$target
mkdir -p "$out/corpus"
# The media info object needs the whole pipeline; no target reaches it.
srcs=(tests/model_settings/fuzz/${target}_fuzz.cpp $(ls model/settings/*.cpp | grep -v media_info_obj)
      model/settings/randomcolor/*.cpp platform/foundation/*.cpp platform/core/log.cpp platform/core/errors.cpp)
clang++ -std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined \
  -fno-sanitize-recover=undefined -I. -Itests/model_settings $(pkg-config --cflags nlohmann_json) "${srcs[@]}" \
  -o "$out/fuzz" -lexpat $(pkg-config --libs icu-uc icu-i18n uuid) -lpthread
# Seeds: the factory presets and small files of every form.
if [ ! -e "$out/corpus/.seeded" ]; then
  case $target in
    setting_reader) cp tests/model_settings/presets/*.xml "$out/corpus/" ;;
    prefs_reader) cp tests/model_settings/prefs/*.xml "$out/corpus/" ;;
    presets_export_reader)
      { printf '<?xml version="1.0" encoding="UTF-8" ?>\n<root>\n'
        for f in tests/model_settings/presets/*.xml; do tail -n +2 "$f"; printf '\n'; done
        printf '</root>'; } > "$out/corpus/all.zqp" ;;
    json_exchange_reader)
      printf '{"items":[{"find":"_v1","replace":"","match_case":0},{"find":"a/b","replace":"c"}]}\x01' > "$out/corpus/r.json"
      printf '{"items":[{"is_enabled":1,"name":"n","preset_alpha":"A","preset_condition_items":[{"mode":"extension","contains":[".mov"],"match_case":false},{"mode":"width","compare_mode":">=","ref_value":1920}]}]}\x02' > "$out/corpus/c.json" ;;
    crop_list_reader)
      printf '"A",origin_and_size,0,0,1920,1080,90\nB,edges_crop,1,2,3,4\r\n' > "$out/corpus/a.csv"
      printf '{"items":[{"name":"A","mode":"edges_crop","left":1,"top":2,"right":3,"bottom":4,"transform_mode":"flip_h"},{"name":"B","mode":"origin_and_size","x":0,"y":0,"w":8,"h":8}]}\x01' > "$out/corpus/a.json" ;;
    expression)
      for e in '1920/2' '2^3^2' '-2^2' 'sqrt 16' 'pow(2,10)' 'ncr(5,2)*fac(3)' '(1,2)*3' 'atan2(1,1)+pi()' '1e3%7'; do
        printf '%s' "$e" > "$out/corpus/$(echo "$e" | md5sum | cut -c1-8)"
      done ;;
  esac
  touch "$out/corpus/.seeded"
fi
cp -n tests/model_settings/fuzz/inputs/$target/* "$out/corpus/" 2>/dev/null || true
export ASAN_OPTIONS=${ASAN_OPTIONS:-allocator_may_return_null=1:detect_leaks=1}
"$out/fuzz" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -close_fd_mask=3 \
  -artifact_prefix="$out/" "$@" "$out/corpus"
