#!/usr/bin/env bash
# Installs what is missing, builds the Release tree and runs the program with ARGS from
# the current folder.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
(
    cd "$root"
    scripts/install-deps.sh
    scripts/configure.sh build release
    cmake --build build
) >&2
exec "$root/build/zelqa_hap_encoder" "$@"
