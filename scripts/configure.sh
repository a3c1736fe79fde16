#!/usr/bin/env bash
# Usage: scripts/configure.sh BUILD_DIR [release|asan|asan-readers]
# asan-readers: sanitizers, and the target container_reader_tests defined.
# Configures the build tree once; later calls only rebuild.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
mode=${2:-release}
if [ ! -f "$dir/build.ninja" ]; then
  args=(-S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release)
  if command -v ccache >/dev/null 2>&1; then
    args+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  case "$mode" in
    asan) args+=(-DZELQA_SANITIZE=ON) ;;
    asan-readers) args+=(-DZELQA_SANITIZE=ON -DZELQA_READER_TESTS=ON) ;;
  esac
  cmake "${args[@]}"
fi
