#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
#   ./test.sh          Release build in build/
#   ./test.sh --asan   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
set -euo pipefail
cd "$(dirname "$0")"
mode=release
dir=build
if [ "${1:-}" = "--asan" ]; then mode=asan; dir=build-asan; shift; fi

scripts/install-deps.sh
scripts/configure.sh "$dir" "$mode"
cmake --build "$dir"
jobs=$(nproc)
if [ "$mode" = asan ]; then
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
  export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
fi
ctest --test-dir "$dir" --output-on-failure -j"$jobs" "$@"
