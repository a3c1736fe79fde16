#!/usr/bin/env bash
# Installs what is missing, builds the Release tree and runs the program with ARGS.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/configure.sh build release
cmake --build build
if [ ! -x build/zelqa_hap_encoder ]; then
  echo "The libraries are built; the zelqa_hap_encoder executable is not there yet."
  exit 0
fi
exec build/zelqa_hap_encoder "$@"
