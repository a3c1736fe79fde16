#!/usr/bin/env bash
# Installs what is missing, builds the Release tree and runs the program with ARGS.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/configure.sh build release
cmake --build build
exec build/zelqa_hap_encoder "$@"
