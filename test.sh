#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
#   ./test.sh          Release build in build/, then the file-reader tests and the kept
#                      fuzz inputs with AddressSanitizer and UndefinedBehaviorSanitizer
#                      in build-asan-readers/ (only that test binary is built there)
#   ./test.sh --asan   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
# Extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")"
mode=release
dir=build
if [ "${1:-}" = "--asan" ]; then mode=asan; dir=build-asan; shift; fi

sanitizer_env() {
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
  export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
}

scripts/install-deps.sh
scripts/configure.sh "$dir" "$mode"
cmake --build "$dir"
jobs=$(nproc)
if [ "$mode" = asan ]; then
  sanitizer_env
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" "$@"
  exit 0
fi
ctest --test-dir "$dir" --output-on-failure -j"$jobs" "$@"

readers=build-asan-readers
scripts/configure.sh "$readers" asan-readers
cmake --build "$readers" --target container_reader_tests
sanitizer_env
ctest --test-dir "$readers" -L readers --output-on-failure -j"$jobs" "$@"
